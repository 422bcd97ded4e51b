#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "batch/batch_messages.h"
#include "batch/batch_options.h"
#include "batch/batch_run.h"
#include "batch/output_plan.h"
#include "io/command_line.h"
#include "io/process_start.h"
#include "io/threads.h"
#include "model_unpack_version.h"

namespace {

// Standard output could not take everything: said, so a full disk is not a silent success.
int finish_output(int status) {
  using namespace model_unpack;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    say_line(stderr, {form_of(RunMessage::StandardOutputFailed)});
    return 1;
  }
  return status;
}

int usage_error(const std::string& reason) {
  using namespace model_unpack;
  say_tool_line(stderr, reason);
  std::fprintf(stderr, "Try '%s --help'.\n", std::string(kToolName).c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace model_unpack;
  open_closed_standard_streams();
  keep_freed_memory_for_reuse();
  use_utf8_console();
  enter_starting_folder();
#ifdef SIGXFSZ
  // A write past the file size limit then fails like any other write instead of killing us.
  signal(SIGXFSZ, SIG_IGN);
#endif
  std::vector<std::string> words = command_line_words(argc, argv);
  std::vector<char*> word_pointers;
  for (std::string& word : words) word_pointers.push_back(word.data());
  word_pointers.push_back(nullptr);
  const ParsedCommandLine parsed =
      parse_command_line(static_cast<int>(words.size()), word_pointers.data(), hardware_threads());
  switch (parsed.action) {
    case ParsedCommandLine::Action::Help:
      std::fputs(batch_usage().c_str(), stdout);
      return finish_output(0);
    case ParsedCommandLine::Action::Version:
      std::puts(MODEL_UNPACK_BATCH_NAME " " MODEL_UNPACK_VERSION);
      return finish_output(0);
    case ParsedCommandLine::Action::UsageError:
      return usage_error(parsed.usage_error);
    case ParsedCommandLine::Action::Run:
      break;
  }
  if (parsed.options.plan) return finish_output(print_plan(parsed, stdout));
  const BatchStreams streams{stdout, stderr, isatty(STDOUT_FILENO) != 0,
                             isatty(STDERR_FILENO) != 0};
  if (parsed.options.list)
    return finish_output(list_models(parsed.options, streams, system_files()));
  const OutputPlan plan = plan_outputs(parsed.options, system_files());
  if (plan.clash) return usage_error(*plan.clash);
  if (plan.notice) say_tool_line(stderr, *plan.notice);
  return finish_output(run_batch(parsed.options, plan, streams, system_files()));
}
