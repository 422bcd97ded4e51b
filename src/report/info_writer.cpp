#include "report/info_writer.h"

namespace model_unpack {

void write_line_breaks(std::uint32_t count, std::FILE* out) {
  for (std::uint32_t i = 0; i < count; ++i) fwrite_unlocked("\r\n", 1, 2, out);
}

void write_info_file(std::FILE*, const char*, const char*, const HeaderBuffer&, std::FILE*,
                     BlockDirectory&, JobScratch&, const ConsoleOutput&) {}

}  // namespace model_unpack
