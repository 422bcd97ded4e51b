#include "console/key_decoder.h"

#include <string_view>

namespace model_unpack {

namespace {

constexpr int kLeadExtended = 224;
constexpr int kLeadFunction = 0;
// Longer than any sequence a key sends; past it the bytes are dropped rather than awaited.
constexpr std::size_t kMaxSequence = 32;

KeyDecode keys(std::size_t consumed, int lead, int code) {
  return {KeyDecode::Status::Keys, consumed, {lead, code}, 2};
}

KeyDecode dropped(std::size_t consumed) {
  return {KeyDecode::Status::Dropped, consumed, {}, 0};
}

KeyDecode incomplete(std::size_t available, bool more_may_follow) {
  if (more_may_follow && available < kMaxSequence) return {};
  return dropped(available);
}

// Final letters shared by CSI and SS3 sequences without parameters.
KeyDecode letter_key(unsigned char final_byte, std::size_t consumed) {
  switch (final_byte) {
    case 'A':
      return keys(consumed, kLeadExtended, 72);  // Up
    case 'B':
      return keys(consumed, kLeadExtended, 80);  // Down
    case 'C':
      return keys(consumed, kLeadExtended, 77);  // Right
    case 'D':
      return keys(consumed, kLeadExtended, 75);  // Left
    case 'H':
      return keys(consumed, kLeadExtended, 71);  // Home
    case 'F':
      return keys(consumed, kLeadExtended, 79);  // End
    case 'P':
      return keys(consumed, kLeadFunction, 59);  // F1
    case 'Q':
      return keys(consumed, kLeadFunction, 60);  // F2
    case 'R':
      return keys(consumed, kLeadFunction, 61);  // F3
    case 'S':
      return keys(consumed, kLeadFunction, 62);  // F4
    default:
      return dropped(consumed);
  }
}

// "ESC [ n ~" keys, by n.
KeyDecode tilde_key(std::string_view number, std::size_t consumed) {
  struct TildeKey {
    std::string_view number;
    int lead;
    int code;
  };
  static constexpr TildeKey kTildeKeys[] = {
      {"1", kLeadExtended, 71},   {"2", kLeadExtended, 82},   {"3", kLeadExtended, 83},
      {"4", kLeadExtended, 79},   {"5", kLeadExtended, 73},   {"6", kLeadExtended, 81},
      {"7", kLeadExtended, 71},   {"8", kLeadExtended, 79},   {"11", kLeadFunction, 59},
      {"12", kLeadFunction, 60},  {"13", kLeadFunction, 61},  {"14", kLeadFunction, 62},
      {"15", kLeadFunction, 63},  {"17", kLeadFunction, 64},  {"18", kLeadFunction, 65},
      {"19", kLeadFunction, 66},  {"20", kLeadFunction, 67},  {"21", kLeadFunction, 68},
      {"23", kLeadExtended, 133}, {"24", kLeadExtended, 134},
  };
  for (const TildeKey& key : kTildeKeys) {
    if (key.number == number) return keys(consumed, key.lead, key.code);
  }
  return dropped(consumed);
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

// bytes[0..1] are ESC and '[' (CSI) or ESC and 'O' (SS3).
KeyDecode decode_sequence(std::span<const unsigned char> bytes, bool more_may_follow) {
  const bool csi = bytes[1] == '[';
  // The Linux console sends F1 to F5 as "ESC [ [ A" to "ESC [ [ E".
  if (csi && bytes.size() >= 3 && bytes[2] == '[') {
    if (bytes.size() < 4) return incomplete(bytes.size(), more_may_follow);
    if (bytes[3] >= 'A' && bytes[3] <= 'E') return keys(4, kLeadFunction, 59 + (bytes[3] - 'A'));
    return dropped(4);
  }
  std::size_t end = 2;
  while (end < bytes.size() && is_parameter(bytes[end])) ++end;
  const std::size_t parameters_end = end;
  while (end < bytes.size() && is_intermediate(bytes[end])) ++end;
  if (end == bytes.size()) return incomplete(bytes.size(), more_may_follow);

  const unsigned char final_byte = bytes[end];
  if (!is_final(final_byte)) {
    // A new Esc starts the next key; any other stray byte belongs to this broken sequence.
    return dropped(final_byte == kEscByte ? end : end + 1);
  }
  const std::size_t consumed = end + 1;
  const std::string_view parameters(reinterpret_cast<const char*>(bytes.data()) + 2,
                                    parameters_end - 2);
  if (parameters_end != end) return dropped(consumed);  // intermediates: not a key we know
  if (parameters.empty()) return letter_key(final_byte, consumed);
  if (csi && final_byte == '~') return tilde_key(parameters, consumed);
  return dropped(consumed);  // modified keys ("1;5A") and everything else
}

}  // namespace

KeyDecode decode_key(std::span<const unsigned char> bytes, bool more_may_follow) {
  const unsigned char first = bytes[0];
  if (first != kEscByte) {
    if (first == 0) return dropped(1);
    return {KeyDecode::Status::Keys, 1, {first, 0}, 1};
  }
  if (bytes.size() == 1) {
    if (more_may_follow) return {};
    return {KeyDecode::Status::Keys, 1, {kEscKey, 0}, 1};
  }
  if (bytes[1] == kEscByte) return {KeyDecode::Status::Keys, 1, {kEscKey, 0}, 1};
  if (bytes[1] == '[' || bytes[1] == 'O') return decode_sequence(bytes, more_may_follow);
  return dropped(2);  // Alt with a key
}

}  // namespace model_unpack
