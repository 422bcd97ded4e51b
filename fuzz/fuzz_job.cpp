// libFuzzer harness: one whole conversion job on the fuzzer's bytes as the model file, its
// files held in memory (the export files in a folder), and a check that the model file is
// unchanged afterwards.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "io/memory_file_system.h"
#include "job/console_report.h"
#include "job/conversion_job.h"

namespace {

std::FILE* console() {
  static std::FILE* null = std::fopen("/dev/null", "w");
  return null;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace model_unpack;
  const std::string model(reinterpret_cast<const char*>(data), size);
  MemoryFileSystem files;
  files.put("f.zmdl", model);

  // The export files go into a folder of their own, as with the batch tool's -C.
  files.make_folders("ex/f");
  const Folder exports = files.open_folder("ex/f");
  ConsoleReport said(ConsoleOutput{console(), false});
  run_conversion_job(derive_typed_names("f"), JobSettings{said, exports, files});
  static_cast<void>(files.close(exports.handle()));

  const std::string* after = files.contents("f.zmdl");
  if (after == nullptr || *after != model) {
    std::fputs("the model file was changed by the job\n", stderr);
    std::abort();
  }
  return 0;
}
