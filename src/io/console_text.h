// Text from a model file or a path as a console may show it: on a terminal, control characters
// are replaced, so a file cannot drive the user's terminal; on standard error they are escaped.
#pragma once

#include <string>
#include <string_view>

#include "io/console_output.h"
#include "io/utf8.h"

namespace model_unpack {

// Walks `text`, handing each control character to `control` and everything else to `plain`,
// as the bytes that make it up. Control characters are the C0 bytes and DEL, the C1 controls
// in UTF-8 (C2 80 to C2 9F) and the bytes 0x80 to 0x9F outside a well-formed UTF-8 sequence.
template <typename Control, typename Plain>
void split_controls(std::string_view text, Control&& control, Plain&& plain) {
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    bool is_control = byte < 0x20 || byte == 0x7F;
    if (byte >= 0x80) {
      length = utf8_sequence_length(text.substr(i));
      if (length == 0) {
        length = 1;
        is_control = byte <= 0x9F;
      } else {
        is_control = length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
      }
    }
    if (is_control) {
      control(text.substr(i, length));
    } else {
      plain(text.substr(i, length));
    }
    i += length;
  }
}

// Text from a model file as it may be shown on this console: on a terminal, every control
// character but NUL becomes '?'. Other text stays as it is.
inline std::string shown_text(const ConsoleOutput& console, std::string_view text) {
  if (!console.is_terminal) return std::string(text);
  std::string shown;
  shown.reserve(text.size());
  split_controls(
      text,
      [&](std::string_view control) {
        if (control == std::string_view("\0", 1)) {
          shown.push_back('\0');
        } else {
          shown.push_back('?');
        }
      },
      [&](std::string_view plain) { shown.append(plain); });
  return shown;
}

// A file name as this console may show it.
inline std::string shown_name(const ConsoleOutput& console, std::string_view name) {
  return console.mask_names ? shown_text(console, name) : std::string(name);
}

// Text for a one-line message on standard error: every control character written as \xNN,
// byte by byte.
inline std::string escaped_text(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string shown;
  shown.reserve(text.size());
  split_controls(
      text,
      [&](std::string_view control) {
        for (const char c : control) {
          const auto byte = static_cast<unsigned char>(c);
          shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
        }
      },
      [&](std::string_view plain) { shown.append(plain); });
  return shown;
}

}  // namespace model_unpack
