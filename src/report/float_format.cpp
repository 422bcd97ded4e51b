#include "report/float_format.h"

#include <array>
#include <bit>
#include <cstring>
#include <string_view>

#include "report/number_format.h"

namespace model_unpack {

namespace {

__extension__ typedef unsigned __int128 uint128;

constexpr std::uint32_t kLowest7Digits = 1'000'000;  // 1.000000
constexpr std::uint32_t kPast7Digits = 10'000'000;   // 10.00000

// 5^0 .. 5^55 all fit in 128 bits; a float needs at most 5^52.
constexpr auto kPowersOf5 = [] {
  std::array<uint128, 56> powers{};
  powers[0] = 1;
  for (std::size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 5;
  return powers;
}();

// 10^0 .. 10^38; a float needs at most 10^33.
constexpr auto kPowersOf10 = [] {
  std::array<uint128, 39> powers{};
  powers[0] = 1;
  for (std::size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
  return powers;
}();

// Where the discarded part of a scaled value lies against half a unit of its last digit.
enum class Rest { BelowHalf, Half, AboveHalf };

struct Scaled {
  std::uint64_t digits;  // the scaled value, truncated
  Rest rest;
};

Rest classify(bool half_bit, bool lower_bits) {
  if (!half_bit) return Rest::BelowHalf;
  return lower_bits ? Rest::AboveHalf : Rest::Half;
}

// m * 2^e * 10^q for q >= 0: the product m * 5^q (up to 143 bits) times 2^(e + q).
Scaled scale_up(std::uint32_t m, int e, int q) {
  // Values from about 1e-7 up: m * 5^q fits in 64 bits (5^13 < 2^31, m < 2^24).
  if (q <= 13) {
    const std::uint64_t product =
        m * static_cast<std::uint64_t>(kPowersOf5[static_cast<std::size_t>(q)]);
    const int shift = e + q;
    if (shift >= 0) return {product << shift, Rest::BelowHalf};
    const int drop = -shift;  // at most 35: the result has at least seven digits
    const std::uint64_t rest = product & ((std::uint64_t{1} << drop) - 1);
    const std::uint64_t half = std::uint64_t{1} << (drop - 1);
    return {product >> drop, rest < half    ? Rest::BelowHalf
                             : rest == half ? Rest::Half
                                            : Rest::AboveHalf};
  }
  const uint128 power = kPowersOf5[static_cast<std::size_t>(q)];
  const uint128 low = static_cast<uint128>(m) * static_cast<std::uint64_t>(power);
  const uint128 high = static_cast<uint128>(m) * static_cast<std::uint64_t>(power >> 64);
  const uint128 middle = (low >> 64) + static_cast<std::uint64_t>(high);
  const std::uint64_t limbs[3] = {static_cast<std::uint64_t>(low),
                                  static_cast<std::uint64_t>(middle),
                                  static_cast<std::uint64_t>((high >> 64) + (middle >> 64))};
  const int shift = e + q;
  if (shift >= 0) return {limbs[0] << shift, Rest::BelowHalf};  // an integer below 2^64

  const int drop = -shift;  // 1 .. 149 bits are dropped
  auto limb = [&limbs](int i) { return i < 3 ? limbs[i] : std::uint64_t{0}; };
  const int word = drop / 64;
  const int bit = drop % 64;
  const std::uint64_t digits =
      bit == 0 ? limb(word) : (limb(word) >> bit) | (limb(word + 1) << (64 - bit));

  const int half = drop - 1;
  const bool half_bit = (limbs[half / 64] >> (half % 64)) & 1;
  bool lower_bits = (limbs[half / 64] & ((std::uint64_t{1} << (half % 64)) - 1)) != 0;
  for (int i = 0; i < half / 64; ++i) lower_bits = lower_bits || limbs[i] != 0;
  return {digits, classify(half_bit, lower_bits)};
}

// m * 2^e / 10^k for k >= 1, where the value is at least 10^7 and so e >= 0.
Scaled scale_down(std::uint32_t m, int e, int k) {
  const uint128 numerator = static_cast<uint128>(m) << e;
  const uint128 denominator = kPowersOf10[static_cast<std::size_t>(k)];
  const uint128 quotient = numerator / denominator;
  const uint128 twice_rest = 2 * (numerator - quotient * denominator);
  const Rest rest = twice_rest < denominator    ? Rest::BelowHalf
                    : twice_rest == denominator ? Rest::Half
                                                : Rest::AboveHalf;
  return {static_cast<std::uint64_t>(quotient), rest};
}

// The texts for infinities and NaNs: a marker such as "1#INF" filled with zeros to seven
// characters, a "." after its first character, then "e+000".
char* fixed_text(bool negative, std::string_view marker_tail, char* out) {
  out[0] = negative ? '-' : '+';
  out[1] = '1';
  out[2] = '.';
  std::memcpy(out + 3, "000000", 6);
  std::memcpy(out + 3, marker_tail.data(), marker_tail.size());
  std::memcpy(out + 9, "e+000", 5);
  return out + kExponentTextSize;
}

// Writes sign, d.dddddd from the seven `digits` rounded, 'e', the exponent's sign and three
// digits. Rounding up may have carried to 10.00000: that is 1.000000 of the next exponent.
char* write_exponent_text(bool negative, std::uint32_t digits, int exponent, char* out) {
  const bool carry = digits == kPast7Digits;
  digits = carry ? kLowest7Digits : digits;
  exponent += carry ? 1 : 0;
  out[0] = negative ? '-' : '+';
  out[1] = static_cast<char>('0' + digits / 1'000'000);
  out[2] = '.';
  const std::uint32_t fraction_digits = digits % 1'000'000;
  std::memcpy(out + 3, kDigitPairs + 2 * (fraction_digits / 10'000), 2);
  std::memcpy(out + 5, kDigitPairs + 2 * (fraction_digits / 100 % 100), 2);
  std::memcpy(out + 7, kDigitPairs + 2 * (fraction_digits % 100), 2);
  out[9] = 'e';
  out[10] = exponent < 0 ? '-' : '+';
  const int magnitude = exponent < 0 ? -exponent : exponent;
  out[11] = '0';  // f32 exponents stay below 100
  std::memcpy(out + 12, kDigitPairs + 2 * magnitude, 2);
  return out + kExponentTextSize;
}

// The binary exponents (floor of log2 of the value) whose values a model mostly holds, from
// about 1.5e-8 up to 2^23: there the decimal exponent comes from a table, the value times
// 10^(6 - exponent) is a product of 64 bits, and every step is without a data-dependent branch
// (a model's numbers change sign and decade at random, and each mispredicted branch costs more
// than the arithmetic).
constexpr int kFastLowest = -26;
constexpr int kFastHighest = 22;

struct Decade {
  int exponent;             // floor(log10 v) for the smallest values of this binary exponent
  std::uint64_t next_from;  // the 24-bit mantissa from which v >= 10^(exponent + 1)
};

// For 2^b <= v < 2^(b+1), v = m * 2^(b-23) with 2^23 <= m < 2^24; at most one power of ten
// lies in the range, and v reaches it where m >= 10^(x+1) * 2^(23-b) (rounded up).
constexpr auto kDecades = [] {
  std::array<Decade, kFastHighest - kFastLowest + 1> decades{};
  for (int b = kFastLowest; b <= kFastHighest; ++b) {
    const int x = (b * 78913) >> 18;  // floor(b * log10 2), exact in this range
    const int next = x + 1;
    const std::uint64_t two = std::uint64_t{1} << (23 - b);
    std::uint64_t from = 0;
    if (next >= 0) {
      from = static_cast<std::uint64_t>(kPowersOf10[static_cast<std::size_t>(next)]) * two;
    } else {
      const auto power = static_cast<std::uint64_t>(kPowersOf10[static_cast<std::size_t>(-next)]);
      from = (two + power - 1) / power;
    }
    decades[static_cast<std::size_t>(b - kFastLowest)] = {x, from};
  }
  return decades;
}();

// v = m * 2^(b-23), 2^23 <= m < 2^24, b in the fast range: the seven digits of v rounded,
// exact ties away from zero.
char* format_common(bool negative, std::uint32_t m, int b, char* out) {
  const Decade& decade = kDecades[static_cast<std::size_t>(b - kFastLowest)];
  const int exponent = decade.exponent + (m >= decade.next_from ? 1 : 0);
  const int q = 6 - exponent;  // 0 .. 14: m * 5^q < 2^57
  // v * 10^q = m * 5^q * 2^(b - 23 + q), and b - 23 + q <= -1 here; one bit more kept below
  // the digits, so that the bit worth half a digit is always there to look at.
  const std::uint64_t product =
      (m * static_cast<std::uint64_t>(kPowersOf5[static_cast<std::size_t>(q)])) << 1;
  const int drop = 24 - b - q;
  const std::uint64_t half = std::uint64_t{1} << (drop - 1);
  const std::uint64_t rest = product & ((half << 1) - 1);
  const std::uint32_t digits = static_cast<std::uint32_t>(product >> drop) + (rest >= half ? 1 : 0);
  return write_exponent_text(negative, digits, exponent, out);
}

// Any other finite nonzero value, m * 2^e exactly, with wider arithmetic.
char* format_any(bool negative, std::uint32_t m, int e, char* out) {
  // The decimal exponent: floor(log2 v) * log10(2) is exact or one too low; when it is low
  // the scaled value has eight digits, and dropping the last one is exact as well.
  const int binary_exponent = e + 31 - std::countl_zero(m);
  int exponent = (binary_exponent * 78913) >> 18;
  const int q = 6 - exponent;
  Scaled scaled = q >= 0 ? scale_up(m, e, q) : scale_down(m, e, -q);
  if (scaled.digits >= kPast7Digits) {
    const std::uint64_t dropped = scaled.digits % 10;
    scaled.rest = dropped > 5 || (dropped == 5 && scaled.rest != Rest::BelowHalf) ? Rest::AboveHalf
                  : dropped == 5                                                  ? Rest::Half
                                                                                  : Rest::BelowHalf;
    scaled.digits /= 10;
    ++exponent;
  }

  // Round to seven digits, exact ties away from zero.
  const std::uint32_t digits =
      static_cast<std::uint32_t>(scaled.digits) + (scaled.rest == Rest::BelowHalf ? 0 : 1);
  return write_exponent_text(negative, digits, exponent, out);
}

}  // namespace

char* format_exponent(std::uint32_t f32_bits, char* out) {
  const bool negative = (f32_bits >> 31) != 0;
  const std::uint32_t biased = (f32_bits >> 23) & 0xFF;
  const std::uint32_t fraction = f32_bits & 0x7FFFFF;
  const int binary_exponent = static_cast<int>(biased) - 127;
  if (binary_exponent >= kFastLowest && binary_exponent <= kFastHighest)
    return format_common(negative, fraction | (1u << 23), binary_exponent, out);

  // The values that are not numbers, chosen by bit pattern.
  if (biased == 0xFF) {
    if (fraction == 0) return fixed_text(negative, "#INF", out);
    if (f32_bits == 0xFFC00000) return fixed_text(true, "#IND", out);
    return fixed_text(negative, "#QNAN", out);
  }
  // Zero of either sign.
  if (biased == 0 && fraction == 0) {
    std::memcpy(out, "+0.000000e+000", kExponentTextSize);
    return out + kExponentTextSize;
  }
  // Subnormals are m * 2^-149, normals carry the implicit bit.
  const std::uint32_t m = biased == 0 ? fraction : fraction | (1u << 23);
  const int e = biased == 0 ? -149 : static_cast<int>(biased) - 150;
  return format_any(negative, m, e, out);
}

}  // namespace model_unpack
