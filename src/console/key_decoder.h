// Turns the bytes a terminal sends into key codes: plain bytes are their own code, the escape
// sequences of special keys become a lead code (0 or 224) and a second code.
#pragma once

#include <array>
#include <cstddef>
#include <span>

namespace model_unpack {

inline constexpr int kEscKey = 27;
inline constexpr unsigned char kEscByte = 0x1B;

struct KeyDecode {
  enum class Status {
    NeedMore,  // a sequence has begun; wait briefly for the rest
    Keys,      // `codes` holds one or two codes
    Dropped,   // the bytes were a key the tool does not know; consumed without a code
  };
  Status status = Status::NeedMore;
  std::size_t consumed = 0;
  std::array<int, 2> codes{};
  std::size_t code_count = 0;
};

// Decodes the key at the front of `bytes` (never empty). `more_may_follow` is false once the
// short wait for further bytes has run out: a lone Esc is then the Esc key.
KeyDecode decode_key(std::span<const unsigned char> bytes, bool more_may_follow);

}  // namespace model_unpack
