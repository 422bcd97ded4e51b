#include <cstdlib>
#include <optional>
#include <string_view>

#include "io/command_line.h"

namespace model_unpack {

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Words in hex, separated by commas; nothing when the text is not that.
std::optional<std::vector<std::string> > words_from_hex(std::string_view text) {
  std::vector<std::string> words(1);
  for (std::size_t at = 0; at < text.size(); at += 2) {
    if (text[at] == ',') {
      words.emplace_back();
      --at;
      continue;
    }
    const int high = hex_digit(text[at]);
    const int low = at + 1 < text.size() ? hex_digit(text[at + 1]) : -1;
    if (high < 0 || low < 0) return std::nullopt;
    words.back().push_back(static_cast<char>(high * 16 + low));
  }
  return words;
}

}  // namespace

// The launcher hands over the words after the program's name in hex when one of them is not
// valid UTF-8, which WASI's arguments cannot carry.
std::vector<std::string> command_line_words(int argc, char** argv) {
  std::vector<std::string> words{argv, argv + argc};
  const char* raw = std::getenv("MODEL_UNPACK_RAW_ARGUMENTS");
  if (raw == nullptr || argc < 1) return words;
  std::optional<std::vector<std::string> > own = words_from_hex(raw);
  if (!own || own->size() != words.size() - 1) return words;
  words.resize(1);
  words.insert(words.end(), own->begin(), own->end());
  return words;
}

std::vector<std::string> expand_wildcards(std::vector<std::string> names) {
  return names;
}

}  // namespace model_unpack
