// libFuzzer harness: one whole conversion job on the fuzzer's bytes as the model file, in a
// private temporary directory, and a check that the model file is unchanged afterwards.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "job/conversion_job.h"

namespace {

std::FILE* g_console = nullptr;
std::filesystem::path g_directory;

std::string read_back(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void remove_directory() {
  std::error_code ignored;
  std::filesystem::remove_all(g_directory, ignored);
}

// Entered at the first input, not at start-up, so libFuzzer's job logs land where it was
// started. Corpus paths must be absolute (fuzz/run.sh passes them so).
void enter_private_directory() {
  char directory[] = "/dev/shm/model-unpack-fuzz-XXXXXX";
  if (mkdtemp(directory) == nullptr || chdir(directory) != 0) std::abort();
  g_directory = directory;
  std::atexit(remove_directory);
  g_console = std::fopen("/dev/null", "w");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view model(reinterpret_cast<const char*>(data), size);
  if (g_console == nullptr) enter_private_directory();

  std::FILE* file = std::fopen("f.zmdl", "wb");
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  model_unpack::NameBuffer name{};
  name[0] = 'f';
  model_unpack::process_model_file(name, model_unpack::ConsoleOutput{g_console, false});

  if (read_back("f.zmdl") != model) {
    std::fputs("the model file was changed by the job\n", stderr);
    std::abort();
  }
  return 0;
}
