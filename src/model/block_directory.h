#pragma once

#include "io/buffered_file.h"
#include "model/model_format.h"

namespace model_unpack {

// Reads entries from the current position until a terminating entry or the end of the file.
BlockDirectory read_block_directory(ModelFile& model);

// Reads each block's first payload word into its record's element count.
void read_element_counts(BlockDirectory& directory, ModelFile& model);

}  // namespace model_unpack
