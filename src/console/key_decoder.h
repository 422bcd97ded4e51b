// Turns the bytes a terminal sends into what the key loop acts on: the '1' key, Esc, or a key
// it ignores. Special keys arrive as escape sequences and are consumed whole, so F5
// ("ESC [ 1 5 ~") never acts as '1' and a lone Esc is told from the start of a sequence.
#pragma once

#include <cstddef>
#include <span>

namespace model_unpack {

inline constexpr unsigned char kEscByte = 0x1B;

enum class KeyOutcome {
  NeedMore,  // a sequence has begun; wait briefly for the rest
  NameKey,   // '1'
  Esc,
  Ignored,  // any other key, known or not
};

struct KeyDecode {
  KeyOutcome outcome = KeyOutcome::NeedMore;
  std::size_t consumed = 0;
};

// Decodes the key at the front of `bytes` (never empty). `more_may_follow` is false once the
// short wait for further bytes has run out: a lone Esc is then the Esc key.
KeyDecode decode_key(std::span<const unsigned char> bytes, bool more_may_follow);

}  // namespace model_unpack
