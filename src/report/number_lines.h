// Lines of numbers in the info file (the elements of positions, triangles, edges and the
// like), formatted from whole elements; a large block in chunks, on two cores when it can.
#pragma once

#include <cstdint>

#include "io/buffered_file.h"
#include "model/block_kinds.h"

namespace model_unpack {

// The longest number line, line end included.
inline constexpr std::size_t kLongestNumberLine = 128;

// Formats the line of element `index` from its bytes (all present) into `out`; returns the end.
char* format_number_line(const Rendering& row, std::uint32_t index, const unsigned char* element,
                         char* out);

// Whether a block of `count` elements is worth formatting in chunks (on two cores).
bool worth_chunking(std::uint32_t count);

// Writes the lines of elements 0 to count-1, which lie whole in the model file from `offset`
// on, into `out` in order, formatted a chunk at a time from bulk reads, on this thread and a
// second one when one can be had.
void write_number_lines_in_chunks(const Rendering& row, std::uint32_t element_size,
                                  std::uint64_t offset, std::uint32_t count, const ModelFile& model,
                                  OutputFile& out);

}  // namespace model_unpack
