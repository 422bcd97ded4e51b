// Lines of numbers in the info file (the elements of positions, triangles, edges and the
// like), formatted from whole elements; a large block in chunks, on two cores when it can.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "io/buffered_file.h"
#include "model/block_kinds.h"
#include "report/float_format.h"
#include "report/number_format.h"

namespace model_unpack {

namespace number_lines_detail {
// A "%5u" value is five characters wide for every u16.
inline constexpr std::size_t kU16TextSize = 5;

constexpr bool shows_numbers(const BlockKind& kind) {
  return kind.rendering.value == Value::U16 || kind.rendering.value == Value::F32;
}

// The line of an element of `kind`: index field, each value and its blanks, line end.
constexpr std::size_t line_size(const BlockKind& kind) {
  const Rendering& rendering = kind.rendering;
  // An index is "%5u" of a 32-bit count: it can grow past five characters.
  const std::size_t index = rendering.index == IndexField::None ? 0 : kMaxIntegerText + 2;
  const std::size_t value = rendering.value == Value::U16 ? kU16TextSize : kExponentTextSize;
  // Two blanks are stored after each value whatever `blanks_after_value` keeps.
  return index + static_cast<std::size_t>(rendering.values) * (value + 2) + 2;
}
}  // namespace number_lines_detail

// The longest number line, line end included, and the largest element shown as numbers.
inline constexpr std::size_t kLongestNumberLine = [] {
  std::size_t longest = 0;
  for (const BlockKind& kind : kBlockKinds) {
    if (number_lines_detail::shows_numbers(kind))
      longest = std::max(longest, number_lines_detail::line_size(kind));
  }
  return longest;
}();
inline constexpr std::size_t kLargestNumberElement = [] {
  std::size_t largest = 0;
  for (const BlockKind& kind : kBlockKinds) {
    if (number_lines_detail::shows_numbers(kind))
      largest = std::max<std::size_t>(largest, kind.element_size());
  }
  return largest;
}();

// Formats the line of element `index` from its bytes (all present) into `out`; returns the end.
char* format_number_line(const Rendering& rendering, std::uint32_t index,
                         const unsigned char* element, char* out);

// Formats the lines of elements `first` to first+count-1, `element_size` bytes apart from
// `elements`, into `out`; returns the end.
char* format_number_lines(const Rendering& rendering, std::uint32_t first, std::uint32_t count,
                          const unsigned char* elements, std::uint32_t element_size, char* out);

// Whether a block of `count` elements is worth formatting in chunks (on two cores).
bool worth_chunking(std::uint32_t count);

// Where a large block's chunks are read and formatted, made on first use and kept for the
// blocks after: new memory costs a fault at each page's first touch, dear on some machines.
class ChunkBuffers {
 public:
  // The buffers of chunk slot `slot`: its elements' bytes, and their lines.
  unsigned char* input(std::size_t slot);
  char* text(std::size_t slot);

 private:
  std::vector<std::unique_ptr<unsigned char[]>> input_;
  std::vector<std::unique_ptr<char[]>> text_;
};

// Writes the lines of elements 0 to count-1, which lay whole in the model file from `offset`
// on when it was opened, into `out` in order, formatted a chunk at a time from bulk reads, on
// this thread and a second one when one can be had. Returns how many were written: fewer when
// the file has been cut short since, and the rest is for the element walk. The last value of
// the last element written goes to `last` (2 or 4 bytes, as the rendering's values are).
std::uint32_t write_number_lines_in_chunks(const Rendering& rendering, std::uint32_t element_size,
                                           std::uint64_t offset, std::uint32_t count,
                                           const ModelFile& model, ChunkBuffers& buffers,
                                           OutputFile& out, unsigned char last[4]);

}  // namespace model_unpack
