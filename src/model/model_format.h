// Byte layout of a model file and the in-memory block directory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace model_unpack {

inline constexpr std::size_t kHeaderSize = 28;
inline constexpr std::size_t kHeaderBufferSize = 64;
inline constexpr std::size_t kNameSize = 64;
inline constexpr std::size_t kEntrySize = kNameSize + 4;
inline constexpr std::size_t kTransferSize = 64;

using HeaderBuffer = std::array<char, kHeaderBufferSize>;
using NameField = std::array<char, kNameSize>;

// Text of a name field: up to its first NUL, all 64 bytes when it has none.
inline std::string_view name_text(const NameField& field) {
  const void* nul = std::memchr(field.data(), '\0', field.size());
  return {field.data(),
          nul == nullptr ? field.size()
                         : static_cast<std::size_t>(static_cast<const char*>(nul) - field.data())};
}

struct BlockRecord {
  std::uint32_t slot = 0;  // its place among the named entries, counted from 0
  std::uint32_t block_offset = 0;
  // Zero until a count word is read, so a block whose count cannot be read lists nothing.
  std::uint32_t element_count = 0;
  NameField block_name{};

  std::string_view name() const { return name_text(block_name); }
};

// What a job keeps of the directory: the first entry of each block name the tool knows, in
// file order, and how many named entries there are in all. Whatever else the directory holds
// is read again from the file when it is needed, so a directory of millions of entries costs
// no memory.
struct BlockDirectory {
  std::vector<BlockRecord> records;
  std::uint32_t entry_count = 0;
  bool cut_short = false;  // the file ended before the terminating entry

  std::uint32_t count() const { return entry_count; }
};

// Clears the offset and all 64 name bytes; the element count is left alone.
void init_block_record(BlockRecord& record);

// First record in file order whose name equals `name` exactly (case-sensitive).
BlockRecord* find_block(BlockDirectory& directory, std::string_view name);

}  // namespace model_unpack
