// The "%+e" form of the info file for f32 values: a sign always, seven significant digits with
// exact ties rounded away from zero, a three-digit exponent, and fixed texts for infinities
// and NaNs. Pure integer arithmetic: independent of locale and of the rounding mode.
#pragma once

#include <cstdint>

namespace model_unpack {

// Every value takes exactly this many characters, "+1.234568e+005" and "-1.#IND00e+000" alike.
inline constexpr int kExponentTextSize = 14;

// Writes the f32 with these bits into `out`; returns out + kExponentTextSize.
char* format_exponent(std::uint32_t f32_bits, char* out);

}  // namespace model_unpack
