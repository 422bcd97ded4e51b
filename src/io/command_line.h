// The command line's words as UTF-8, whatever the platform hands a program.
#pragma once

#include <string>
#include <vector>

namespace model_unpack {

// Linux: argv as it is. Windows: the wide command line, each word in UTF-8, with '\' written
// '/' (the tool names paths with forward slashes; Windows takes either). WASI: argv, or the
// words its launcher hands over in hex (see command_line_wasi.cpp).
std::vector<std::string> command_line_words(int argc, char** argv);

// The model names of a command line as the user meant them. Windows: a name with '*' or '?'
// in its last component stands for the files it matches there, in name order, since no
// Windows shell expands them (a name that matches nothing stays as it is, as in a POSIX
// shell). Elsewhere the shell has done so already: the names as they are.
std::vector<std::string> expand_wildcards(std::vector<std::string> names);

}  // namespace model_unpack
