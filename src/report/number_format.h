// The integer forms of the info file: "%u", "%Nu" / "%Nd" (right-aligned in N characters, never
// cut) and "0x%X". Each writes into the caller's buffer and returns the end of what it wrote.
#pragma once

#include <cstdint>
#include <cstring>

namespace model_unpack {

// Longest text any integer form writes: "0x" and 8 hex digits, or 10 decimal digits.
inline constexpr int kMaxIntegerText = 10;

char* format_unsigned(std::uint32_t value, char* out);
char* format_unsigned_right(std::uint32_t value, int width, char* out);  // width <= 10

inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// "%5u", the info file's hot case (u16 values and indexes), inline.
inline char* format_right5(std::uint32_t value, char* out) {
  if (value >= 100000) return format_unsigned_right(value, 5, out);
  std::memcpy(out, "     ", 5);  // the digits overwrite the blanks from the right
  char* end = out + 5;
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
  return out + 5;
}
char* format_hex_upper(std::uint32_t value, char* out);  // without the "0x"

}  // namespace model_unpack
