#include <cstdio>

#include "io/console_output.h"

namespace model_unpack {

void write_unlocked(std::FILE* stream, std::string_view text) {
  fwrite_unlocked(text.data(), 1, text.size(), stream);
}

}  // namespace model_unpack
