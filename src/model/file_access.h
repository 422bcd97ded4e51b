// Opening the job's files: the model file for reading, the info and export files for writing.
#pragma once

#include <cstdio>

namespace model_unpack {

// The model file as a buffered stream, or null when it cannot be opened or is not a regular
// file: a directory would open and then deliver nothing, a failure reported as success.
std::FILE* open_model_file(const char* name);

// Creates or empties the file with mode 0600, then opens it for binary writing; null on
// failure. A FIFO without a reader fails at once instead of blocking the job.
std::FILE* create_output_file(const char* name);

}  // namespace model_unpack
