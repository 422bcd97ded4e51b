#include "report/number_format.h"

#include <cstring>

namespace model_unpack {

namespace {

// Writes the digits of `value` right-aligned at the end of digits[10], two at a time;
// returns how many.
int decimal_digits(std::uint32_t value, char (&digits)[kMaxIntegerText]) {
  char* start = digits + kMaxIntegerText;
  while (value >= 100) {
    start -= 2;
    std::memcpy(start, kDigitPairs + 2 * (value % 100), 2);
    value /= 100;
  }
  if (value >= 10) {
    start -= 2;
    std::memcpy(start, kDigitPairs + 2 * value, 2);
  } else {
    *--start = static_cast<char>('0' + value);
  }
  return static_cast<int>(digits + kMaxIntegerText - start);
}

}  // namespace

char* format_unsigned(std::uint32_t value, char* out) {
  char digits[kMaxIntegerText];
  const int count = decimal_digits(value, digits);
  std::memcpy(out, digits + kMaxIntegerText - count, static_cast<std::size_t>(count));
  return out + count;
}

char* format_unsigned_right(std::uint32_t value, int width, char* out) {
  char digits[kMaxIntegerText];
  const int count = decimal_digits(value, digits);
  for (int i = count; i < width; ++i) *out++ = ' ';
  std::memcpy(out, digits + kMaxIntegerText - count, static_cast<std::size_t>(count));
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
