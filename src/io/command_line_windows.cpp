#include "io/command_line.h"

// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include "io/utf8_windows.h"

namespace model_unpack {

std::vector<std::string> command_line_words(int argc, char** argv) {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (words == nullptr) return {argv, argv + argc};
  std::vector<std::string> result;
  for (int i = 0; i < count; ++i) {
    std::string word = utf8_text(words[i]);
    for (char& c : word) {
      if (c == '\\') c = '/';
    }
    result.push_back(std::move(word));
  }
  LocalFree(words);
  return result;
}

}  // namespace model_unpack
