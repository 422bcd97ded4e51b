// The command line's words as UTF-8, whatever the platform hands a program.
#pragma once

#include <string>
#include <vector>

namespace model_unpack {

// Linux: argv as it is. Windows: the wide command line, each word in UTF-8, with '\' written
// '/' (the tool names paths with forward slashes; Windows takes either). WASI: argv, or the
// words its launcher hands over in hex (see command_line.cpp).
std::vector<std::string> command_line_words(int argc, char** argv);

}  // namespace model_unpack
