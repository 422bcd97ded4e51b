#include <cstdio>

#include "io/console_output.h"

namespace model_unpack {

void write_unlocked(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);  // MinGW's C library has no unlocked write
}

}  // namespace model_unpack
