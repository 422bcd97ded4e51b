#include "io/command_line.h"

namespace model_unpack {

std::vector<std::string> command_line_words(int argc, char** argv) {
  return {argv, argv + argc};
}

}  // namespace model_unpack
