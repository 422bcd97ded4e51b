#include "console/word_reader.h"

namespace model_unpack {

namespace {
bool is_blank(int c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
}  // namespace

std::string read_word(std::FILE* in, bool input_can_resume) {
  int c = 0;
  do {
    c = std::getc(in);
  } while (c != EOF && is_blank(c));
  std::string word;
  while (c != EOF && !is_blank(c)) {
    word.push_back(static_cast<char>(c));
    c = std::getc(in);
  }
  if (c != EOF) {
    std::ungetc(c, in);
  } else if (input_can_resume) {
    std::clearerr(in);
  }
  return word;
}

std::optional<std::string> take_word(std::string& line) {
  std::size_t begin = 0;
  while (begin < line.size() && is_blank(static_cast<unsigned char>(line[begin]))) ++begin;
  if (begin == line.size()) {
    line.clear();
    return std::nullopt;
  }
  std::size_t end = begin;
  while (end < line.size() && !is_blank(static_cast<unsigned char>(line[end]))) ++end;
  std::string word = line.substr(begin, end - begin);
  line.erase(0, end);
  return word;
}

}  // namespace model_unpack
