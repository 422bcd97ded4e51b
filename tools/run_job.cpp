// Runs one conversion job without the key loop, for scripts, benchmarks and cross-checks:
// the job's console lines go to standard output. Usage: run-job NAME
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "model/conversion_job.h"

int main(int argc, char** argv) {
  using namespace model_unpack;
  if (argc != 2 || !name_fits_buffer(argv[1])) {
    std::fputs("usage: run-job NAME   (NAME as typed at the tool's prompt)\n", stderr);
    return 2;
  }
  NameBuffer name{};
  std::memcpy(name.data(), argv[1], std::strlen(argv[1]));
  process_model_file(name, ConsoleOutput{stdout, isatty(STDOUT_FILENO) != 0});
  return 0;
}
