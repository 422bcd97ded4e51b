// Runs one conversion job without the key loop, for scripts, benchmarks and cross-checks:
// the job's console lines go to standard output. With --peak-memory, the process's peak
// resident memory in KiB is printed on standard error afterwards.
// Usage: run-job [--peak-memory] NAME
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string_view>

#include "console/typed_name.h"

int main(int argc, char** argv) {
  using namespace model_unpack;
  const bool peak_memory = argc == 3 && std::string_view(argv[1]) == "--peak-memory";
  const char* typed = argv[argc - 1];
  if (argc != (peak_memory ? 3 : 2) || !name_fits_buffer(typed)) {
    std::fputs("usage: run-job [--peak-memory] NAME   (NAME as typed at the tool's prompt)\n",
               stderr);
    return 2;
  }
  NameBuffer name{};
  std::memcpy(name.data(), typed, std::strlen(typed));
  process_model_file(name, ConsoleOutput{stdout, isatty(STDOUT_FILENO) != 0});
  std::fflush(stdout);
  if (peak_memory) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::fprintf(stderr, "%ld\n", usage.ru_maxrss);
  }
  return 0;
}
