// A slow, obviously right "%+e" for f32 values, to check the fast formatter against: the C
// library prints the exact decimal expansion (a float never needs more than 112 significant
// digits, so 121 leave nothing to round), and the rounding to seven digits is done here by hand.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace model_unpack::testing {

inline std::string reference_exponent(std::uint32_t bits) {
  const bool negative = (bits >> 31) != 0;
  if (((bits >> 23) & 0xFF) == 0xFF) {
    if ((bits & 0x7FFFFF) == 0) return negative ? "-1.#INF00e+000" : "+1.#INF00e+000";
    if (bits == 0xFFC00000) return "-1.#IND00e+000";
    return negative ? "-1.#QNAN0e+000" : "+1.#QNAN0e+000";
  }
  float value = 0;
  std::memcpy(&value, &bits, sizeof value);
  if (value == 0) return "+0.000000e+000";

  char exact[160];
  std::snprintf(exact, sizeof exact, "%.120e", std::fabs(static_cast<double>(value)));
  // exact: d.ddd...(120 digits)e+XX
  std::string digits = std::string(1, exact[0]) + std::string(exact + 2, 120);
  int exponent = std::atoi(std::strchr(exact, 'e') + 1);
  long long seven = std::stoll(digits.substr(0, 7));
  if (digits[7] >= '5') ++seven;  // a tie or more: away from zero
  if (seven == 10'000'000) {
    seven = 1'000'000;
    ++exponent;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%c%lld.%06llde%c%03d", negative ? '-' : '+', seven / 1'000'000,
                seven % 1'000'000, exponent < 0 ? '-' : '+', std::abs(exponent));
  return text;
}

}  // namespace model_unpack::testing
