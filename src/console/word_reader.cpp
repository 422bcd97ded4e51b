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

}  // namespace model_unpack
