#include "console/typed_name.h"

#include "io/out_of_memory.h"
#include "job/console_report.h"
#include "job/conversion_job.h"
#include "job/file_names.h"

namespace model_unpack {

bool name_fits_buffer(std::string_view word) {
  if (word.size() >= kNameBufferSize) return false;
  // The job sees the name up to its first NUL; only that part can receive the extension.
  const std::string_view name = word.substr(0, word.find('\0'));
  const bool has_dot = name.find('.') != std::string_view::npos;
  return has_dot || name.size() + kDefaultExtension.size() < kNameBufferSize;
}

void process_model_file(const NameBuffer& typed_name, const ConsoleOutput& console) {
  ConsoleReport report(console);
  // Out of memory before the job had files of its own (the model's buffer): back to the prompt.
  unless_out_of_memory(
      [&] {
        run_conversion_job(derive_typed_names({typed_name.data(), typed_name.size()}),
                           JobSettings{report, Folder::current(), system_files()});
      },
      [&] { report.message({form_of(JobMessage::OutOfMemory)}); });
}

}  // namespace model_unpack
