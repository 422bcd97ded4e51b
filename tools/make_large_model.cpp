// Writes a large synthetic model (see large_model.h).
// Usage: make-large-model SIZE_MB OUTPUT.zmdl
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "large_model.h"

int main(int argc, char** argv) {
  if (argc != 3 || std::atof(argv[1]) <= 0) {
    std::fputs("usage: make-large-model SIZE_MB OUTPUT.zmdl\n", stderr);
    return 2;
  }
  try {
    model_unpack::testing::large_model(static_cast<std::size_t>(std::atof(argv[1]) * 1e6))
        .write(argv[2]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make-large-model: %s\n", error.what());
    return 1;
  }
  return 0;
}
