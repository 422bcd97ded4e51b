#include "console/key_decoder.h"

namespace model_unpack {

namespace {

// Longer than any sequence a key sends; past it the bytes are dropped rather than awaited.
constexpr std::size_t kMaxSequence = 32;

KeyDecode ignored(std::size_t consumed) {
  return {KeyOutcome::Ignored, consumed};
}

KeyDecode incomplete(std::size_t available, bool more_may_follow) {
  if (more_may_follow && available < kMaxSequence) return {};
  return ignored(available);
}

bool is_parameter(unsigned char byte) {
  return byte >= 0x30 && byte <= 0x3F;
}
bool is_intermediate(unsigned char byte) {
  return byte >= 0x20 && byte <= 0x2F;
}
bool is_final(unsigned char byte) {
  return byte >= 0x40 && byte <= 0x7E;
}

// bytes[0..1] are ESC and '[' (CSI) or ESC and 'O' (SS3): parameters, intermediates, a final
// byte. Whatever key the sequence names, the loop ignores it; only its length matters.
KeyDecode decode_sequence(std::span<const unsigned char> bytes, bool more_may_follow) {
  // The Linux console sends F1 to F5 as "ESC [ [ A" to "ESC [ [ E".
  if (bytes[1] == '[' && bytes.size() >= 3 && bytes[2] == '[') {
    if (bytes.size() < 4) return incomplete(bytes.size(), more_may_follow);
    return ignored(4);
  }
  std::size_t end = 2;
  while (end < bytes.size() && is_parameter(bytes[end])) ++end;
  while (end < bytes.size() && is_intermediate(bytes[end])) ++end;
  if (end == bytes.size()) return incomplete(bytes.size(), more_may_follow);
  // A new Esc starts the next key; any other stray byte belongs to this broken sequence.
  if (!is_final(bytes[end]) && bytes[end] == kEscByte) return ignored(end);

  return ignored(end + 1);
}

}  // namespace

KeyDecode decode_key(std::span<const unsigned char> bytes, bool more_may_follow) {
  const unsigned char first = bytes[0];
  if (first != kEscByte) return {first == '1' ? KeyOutcome::NameKey : KeyOutcome::Ignored, 1};
  if (bytes.size() == 1) return more_may_follow ? KeyDecode{} : KeyDecode{KeyOutcome::Esc, 1};
  if (bytes[1] == kEscByte) return {KeyOutcome::Esc, 1};
  if (bytes[1] == '[' || bytes[1] == 'O') return decode_sequence(bytes, more_may_follow);
  return ignored(2);  // Alt with a key
}

}  // namespace model_unpack
