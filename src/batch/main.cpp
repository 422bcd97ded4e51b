#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "batch/batch_options.h"
#include "batch/batch_run.h"

int main(int argc, char** argv) {
  using namespace model_unpack;
  // A write past the file size limit then fails like any other write instead of killing us.
  signal(SIGXFSZ, SIG_IGN);
  const ParsedCommandLine parsed =
      parse_command_line(argc, argv, std::thread::hardware_concurrency());
  switch (parsed.action) {
    case ParsedCommandLine::Action::Help:
      std::fputs(kBatchUsage, stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case ParsedCommandLine::Action::Version:
      std::puts("model-unpack-batch " MODEL_UNPACK_VERSION);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case ParsedCommandLine::Action::UsageError:
      std::fprintf(stderr, "model-unpack-batch: %s\nTry 'model-unpack-batch --help'.\n",
                   parsed.usage_error.c_str());
      return 2;
    case ParsedCommandLine::Action::Run:
      break;
  }
  const BatchStreams streams{stdout, stderr, isatty(STDOUT_FILENO) != 0,
                             isatty(STDERR_FILENO) != 0};
  int status = run_batch(parsed.options, streams);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fputs("model-unpack-batch: write error on standard output\n", stderr);
    status = 1;
  }
  return status;
}
