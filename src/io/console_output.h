// Where the job's progress lines go. On a terminal, text taken from a model file is shown with
// its control bytes replaced, so a file cannot drive the user's terminal.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace model_unpack {

struct ConsoleOutput {
  std::FILE* stream = stdout;
  bool is_terminal = false;
};

inline void console_print(const ConsoleOutput& console, std::string_view text) {
  fwrite_unlocked(text.data(), 1, text.size(), console.stream);
}

// Text from a model file as it may be shown on this console.
inline std::string shown_text(const ConsoleOutput& console, std::string_view text) {
  std::string shown(text);
  if (console.is_terminal) {
    for (char& c : shown) {
      const auto byte = static_cast<unsigned char>(c);
      if ((byte >= 0x01 && byte <= 0x1F) || byte == 0x7F) c = '?';
    }
  }
  return shown;
}

}  // namespace model_unpack
