// Little-endian values read from the model file with the tool's short-read rule: bytes a read
// does not deliver keep whatever the destination held, so values past the end of the file
// repeat old ones.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/file_access.h"

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
inline void read_u32(ModelFile& in, std::uint32_t& value) {
  unsigned char bytes[4];
  store_u32(value, bytes);
  in.read(bytes, sizeof bytes);
  value = load_u32(bytes);
}

}  // namespace model_unpack
