// Walks a block's elements by their layout, with the tool's short-read rule: every field
// is read into the last value read of its size, and bytes a read does not deliver keep what
// that value held, so values past the end of the file repeat old ones. The export phase copies
// fields raw, the info phase reads them to show them (the mesh reader takes only the elements
// that lie whole in the file: whole_elements.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "io/buffered_file.h"
#include "model/block_kinds.h"
#include "model/model_format.h"

namespace model_unpack {

inline std::uint16_t load_u16(const unsigned char* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline std::uint32_t load_u32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

inline void store_u32(std::uint32_t value, unsigned char* bytes) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

// A u32 read in place: a partial read replaces only its low-order bytes.
inline void read_u32(ModelFile& file, std::uint32_t& value) {
  unsigned char bytes[4];
  store_u32(value, bytes);
  file.read(bytes, sizeof bytes);
  value = load_u32(bytes);
}

// A null `out` is an output that did not open: reads still happen, nothing is written. Nor is
// anything once a write to `out` has failed: it would be lost.
inline void write_bytes(OutputFile* out, const void* data, std::size_t size) {
  if (out != nullptr && !out->failed()) out->write(data, size);
}

// What a block's elements may still claim: at most the model file's size in all, so a count
// word can never make the job write more than a small multiple of the file. A claim that fits
// is handled in full, past the end of the file or not.
class ElementBudget {
 public:
  explicit ElementBudget(std::uint64_t model_size) : left_(model_size) {}

  // How many of `count` elements of `size` bytes fit; they are taken.
  std::uint32_t take_elements(std::uint32_t count, std::uint32_t size) {
    const std::uint64_t fitting = left_ / size;
    const std::uint32_t taken = fitting < count ? static_cast<std::uint32_t>(fitting) : count;
    left_ -= std::uint64_t{taken} * size;
    return taken;
  }
  // Takes `size` bytes if they fit.
  bool take(std::uint64_t size) {
    if (size > left_) return false;
    left_ -= size;
    return true;
  }
  // Takes at most `size` bytes; returns how many.
  std::uint64_t take_up_to(std::uint64_t size) {
    const std::uint64_t taken = size < left_ ? size : left_;
    left_ -= taken;
    return taken;
  }

 private:
  std::uint64_t left_;
};

// The last value read of each size (the four kinds of field value a read goes through). They start
// at zero with the job and pass explicitly from the export phase to the info phase, so what either
// shows past the end of the file is what was read last, possibly by the other.
struct LastValues {
  std::array<unsigned char, 4> four{};
  std::array<unsigned char, 2> two{};
  std::array<unsigned char, kTransferSize> transfer{};
  std::uint32_t extra_length = 0;
};

// How many elements a copy copied, and whether their claim was cut by the budget (an element
// whose tail was cut counts as copied).
struct CopiedElements {
  std::uint32_t count;
  bool cut_by_budget;
};

class ElementWalk {
 public:
  ElementWalk(ModelFile& file, LastValues& last) : file_(file), last_(last) {}

  ModelFile& file() { return file_; }
  LastValues& last() { return last_; }

  // Seeks to a block and reads its count words in place into `count`, writing each to `out`
  // (null: nowhere) as read; the last one is the element count, returned.
  std::uint32_t read_count_words(const BlockKind& kind, std::uint32_t block_offset,
                                 std::uint32_t count, OutputFile* out);

  // Copies up to `count` elements raw into `out` (null: read only) while `budget` lasts. The
  // length word of a tail of bytes starts at zero for each block.
  CopiedElements copy_elements(const ElementLayout& layout, std::uint32_t count,
                               ElementBudget& budget, OutputFile* out);

  // Reads one field into its last value and returns that value's bytes; a length word gives
  // nothing back (its value is `last().extra_length`).
  std::span<const unsigned char> read(Field field);

  // Carries `length` tail bytes through the transfer buffer into `out`: one read of the whole
  // when it fits, else pieces of 64 and the rest.
  void copy_tail_bytes(std::uint64_t length, OutputFile* out);

 private:
  void copy_fields(const FieldList& fields, std::uint64_t repeat, OutputFile* out);
  template <std::size_t N>
  void copy_units(std::array<unsigned char, N>& last, std::uint64_t units, OutputFile* out);

  ModelFile& file_;
  LastValues& last_;
};

}  // namespace model_unpack
