// The integer forms of the info file: "%u", "%Nu" / "%Nd" (right-aligned in N characters, never
// cut) and "0x%X". Each writes into the caller's buffer and returns the end of what it wrote.
#pragma once

#include <cstdint>

namespace model_unpack {

// Longest text any integer form writes: "0x" and 8 hex digits, or 10 decimal digits.
inline constexpr int kMaxIntegerText = 10;

char* format_unsigned(std::uint32_t value, char* out);
char* format_unsigned_right(std::uint32_t value, int width, char* out);  // width <= 10
char* format_hex_upper(std::uint32_t value, char* out);                  // without the "0x"

}  // namespace model_unpack
