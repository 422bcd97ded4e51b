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

}  // namespace

char* format_exponent(std::uint32_t f32_bits, char* out) {
  // Step 1: decode the float into sign, biased exponent and fraction.
  const bool negative = (f32_bits >> 31) != 0;
  const std::uint32_t biased = (f32_bits >> 23) & 0xFF;
  const std::uint32_t fraction = f32_bits & 0x7FFFFF;

  // Step 2: the values that are not numbers, chosen by bit pattern.
  if (biased == 0xFF) {
    if (fraction == 0) return fixed_text(negative, "#INF", out);
    if (f32_bits == 0xFFC00000) return fixed_text(true, "#IND", out);
    return fixed_text(negative, "#QNAN", out);
  }
  // Step 3: zero of either sign.
  if (biased == 0 && fraction == 0) {
    std::memcpy(out, "+0.000000e+000", kExponentTextSize);
    return out + kExponentTextSize;
  }

  // Step 4: the value is m * 2^e exactly.
  const std::uint32_t m = biased == 0 ? fraction : fraction | (1u << 23);
  const int e = biased == 0 ? -149 : static_cast<int>(biased) - 150;

  // Step 5: the decimal exponent. floor(log2 v) * log10(2) is exact or one too low; when it
  // is low the scaled value has eight digits, and dropping the last one is exact as well.
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

  // Step 6: round to seven digits, exact ties away from zero; a carry makes 10.00000 1.000000.
  std::uint32_t digits =
      static_cast<std::uint32_t>(scaled.digits) + (scaled.rest == Rest::BelowHalf ? 0 : 1);
  if (digits == kPast7Digits) {
    digits = kLowest7Digits;
    ++exponent;
  }

  // Step 7: write sign, d.dddddd, 'e', the exponent's sign and three digits.
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

}  // namespace model_unpack
