#include "io/command_line.h"

// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>

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

namespace {

// The files `pattern` matches in its folder, named as the pattern's folder part names it; none
// when it matches nothing.
std::vector<std::string> matches_of(const std::string& pattern) {
  const std::size_t slash = pattern.find_last_of("/:");
  const std::string folder = slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
  std::vector<std::string> found;
  WIN32_FIND_DATAW entry{};
  const HANDLE search = FindFirstFileW(wide_text(pattern).c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    found.push_back(folder + utf8_text(entry.cFileName));
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace

std::vector<std::string> expand_wildcards(std::vector<std::string> names) {
  std::vector<std::string> expanded;
  for (std::string& name : names) {
    const std::size_t slash = name.find_last_of("/:");
    const std::size_t last = slash == std::string::npos ? 0 : slash + 1;
    std::vector<std::string> matches;
    if (name.find_first_of("*?", last) != std::string::npos) matches = matches_of(name);
    if (matches.empty()) {
      expanded.push_back(std::move(name));
    } else {
      expanded.insert(expanded.end(), matches.begin(), matches.end());
    }
  }
  return expanded;
}

}  // namespace model_unpack
