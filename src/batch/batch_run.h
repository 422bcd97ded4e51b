// Runs the conversion job on every model of a batch command line.
#pragma once

#include <cstdio>

#include "batch/batch_options.h"

namespace model_unpack {

struct BatchStreams {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  bool out_is_terminal = false;
  bool err_is_terminal = false;
};

// Runs every job and returns the exit status: 0, or 1 when some job printed an error line.
int run_batch(const BatchOptions& options, const BatchStreams& streams);

}  // namespace model_unpack
