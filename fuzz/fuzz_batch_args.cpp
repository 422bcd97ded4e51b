// libFuzzer harness for the batch command line: the fuzzer's bytes, split at NUL bytes, are the
// arguments. Parsing never crashes, always ends in one of the documented outcomes, and what it
// accepts is within the documented limits. No job runs.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "batch/batch_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace model_unpack;
  std::vector<std::string> words{"model-unpack-batch"};
  std::string word;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      words.push_back(word);
      word.clear();
    } else {
      word.push_back(static_cast<char>(data[i]));
    }
  }
  words.push_back(word);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  const ParsedCommandLine parsed =
      parse_command_line(static_cast<int>(words.size()), argv.data(), 2);
  const BatchOptions& options = parsed.options;
  bool sound = true;
  switch (parsed.action) {
    case ParsedCommandLine::Action::UsageError:  // exit status 2: one line of reason
      sound = !parsed.usage_error.empty() && parsed.usage_error.find('\n') == std::string::npos;
      break;
    case ParsedCommandLine::Action::Help:  // exit status 0
    case ParsedCommandLine::Action::Version:
      break;
    case ParsedCommandLine::Action::Run:  // exit status 0 or 1 from the jobs
      sound = !options.models.empty() && options.jobs >= 1 && options.jobs <= 4096 &&
              options.png_size >= 16 && options.png_size <= 4096 &&
              (!options.no_job || options.glb || options.png) &&
              (options.jobs == 1 || options.models.size() == 1 || options.exports_dir ||
               options.no_job || options.list) &&
              (!options.list || !(options.exports_dir || options.glb || options.png));
      break;
  }
  if (!sound) {
    std::fputs("the command line was accepted against its rules\n", stderr);
    std::abort();
  }
  return 0;
}
