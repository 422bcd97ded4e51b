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
char* format_hex_upper(std::uint32_t value, char* out);                  // without the "0x"

inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Five digits of `value` < 100000, leading zeros kept. value * ceil(2^32 / 10^4) holds the
// first digit in its high word and the other four as a binary fraction below it; each
// multiplication of the fraction by 100 brings out the next two (exact below 100000).
inline void write_five_digits(std::uint32_t value, char* out) {
  std::uint64_t scaled = value * std::uint64_t{429497};
  out[0] = static_cast<char>('0' + (scaled >> 32));
  scaled = (scaled & 0xFFFFFFFF) * 100;
  std::memcpy(out + 1, kDigitPairs + 2 * (scaled >> 32), 2);
  scaled = (scaled & 0xFFFFFFFF) * 100;
  std::memcpy(out + 3, kDigitPairs + 2 * (scaled >> 32), 2);
}

// "%5u", the info file's hot case (u16 values and indexes), inline up to seven digits: a
// large block's indexes pass 100000 early.
inline char* format_right5(std::uint32_t value, char* out) {
  if (value >= 100000) {
    if (value >= 10000000) return format_unsigned_right(value, 5, out);
    const std::uint32_t high = value / 100000;  // 1 .. 99
    if (high >= 10) {
      std::memcpy(out, kDigitPairs + 2 * high, 2);
      out += 2;
    } else {
      *out++ = static_cast<char>('0' + high);
    }
    write_five_digits(value - high * 100000, out);
    return out + 5;
  }
  write_five_digits(value, out);
  if (value < 10000) {  // leading zeros become blanks
    out[0] = ' ';
    if (value < 1000) {
      out[1] = ' ';
      if (value < 100) {
        out[2] = ' ';
        if (value < 10) out[3] = ' ';
      }
    }
  }
  return out + 5;
}

}  // namespace model_unpack
