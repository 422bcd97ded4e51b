#include "report/number_format.h"

#include <bit>
#include <cstring>

namespace model_unpack {

namespace {

// How many decimal digits `value` has: from its bit length, then one comparison.
int decimal_length(std::uint32_t value) {
  static constexpr std::uint32_t kPowersOf10[] = {1,      10,      100,      1000,      10000,
                                                  100000, 1000000, 10000000, 100000000, 1000000000};
  const int estimate = (std::bit_width(value | 1) * 1233) >> 12;     // floor or ceil of log10
  return estimate + ((value | 1) >= kPowersOf10[estimate] ? 1 : 0);  // 0 has one digit
}

// Writes the decimal digits of `value`, two at a time, so that they end just before `end`.
// Straight into the caller's buffer: no scratch copy, no length-dependent memcpy.
void write_digits_before(std::uint32_t value, char* end) {
  while (value >= 100) {
    end -= 2;
    std::memcpy(end, kDigitPairs + 2 * (value % 100), 2);
    value /= 100;
  }
  if (value >= 10) {
    std::memcpy(end - 2, kDigitPairs + 2 * value, 2);
  } else {
    end[-1] = static_cast<char>('0' + value);
  }
}

}  // namespace

char* format_unsigned(std::uint32_t value, char* out) {
  const int count = decimal_length(value);
  write_digits_before(value, out + count);
  return out + count;
}

char* format_unsigned_right(std::uint32_t value, int width, char* out) {
  const int count = decimal_length(value);
  for (int i = count; i < width; ++i) *out++ = ' ';
  write_digits_before(value, out + count);
  return out + count;
}

char* format_hex_upper(std::uint32_t value, char* out) {
  char digits[8];
  int count = 0;
  do {
    digits[7 - count] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
    ++count;
  } while (value != 0);
  std::memcpy(out, digits + 8 - count, static_cast<std::size_t>(count));
  return out + count;
}

}  // namespace model_unpack
