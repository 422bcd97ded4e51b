#include "report/number_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <random>
#include <string>

#include "float_reference.h"
#include "report/float_format.h"

namespace model_unpack {
namespace {

using testing::reference_exponent;

std::string exponent_text(std::uint32_t bits) {
  char text[kExponentTextSize];
  EXPECT_EQ(format_exponent(bits, text), text + kExponentTextSize);
  return {text, kExponentTextSize};
}

std::string exponent_text(float value) {
  return exponent_text(std::bit_cast<std::uint32_t>(value));
}

TEST(ExponentForm, Basic) {
  EXPECT_EQ(exponent_text(1.0f), "+1.000000e+000");
  EXPECT_EQ(exponent_text(-2.5f), "-2.500000e+000");
  EXPECT_EQ(exponent_text(0.1f), "+1.000000e-001");
  EXPECT_EQ(exponent_text(1025.0f), "+1.025000e+003");
  EXPECT_EQ(exponent_text(123456.78125f), "+1.234568e+005");
}

TEST(ExponentForm, BothZerosArePositive) {
  EXPECT_EQ(exponent_text(0.0f), "+0.000000e+000");
  EXPECT_EQ(exponent_text(-0.0f), "+0.000000e+000");
}

TEST(ExponentForm, ExactTiesRoundAwayFromZero) {
  EXPECT_EQ(exponent_text(1000.0625f), "+1.000063e+003");
  EXPECT_EQ(exponent_text(-1000.0625f), "-1.000063e+003");
  EXPECT_EQ(exponent_text(0.00048828125f), "+4.882813e-004");
}

TEST(ExponentForm, RoundingCarriesIntoTheExponent) {
  EXPECT_EQ(exponent_text(0.0001f), "+1.000000e-004");
  EXPECT_EQ(exponent_text(9.9999997f), "+1.000000e+001");
}

TEST(ExponentForm, MinAndMax) {
  EXPECT_EQ(exponent_text(0x7F7FFFFFu), "+3.402823e+038");
  EXPECT_EQ(exponent_text(0x00000001u), "+1.401298e-045");
  EXPECT_EQ(exponent_text(0x80000001u), "-1.401298e-045");
  EXPECT_EQ(exponent_text(0x00800000u), "+1.175494e-038");
}

TEST(ExponentForm, InfinitiesAndNaNsByBitPattern) {
  EXPECT_EQ(exponent_text(0x7F800000u), "+1.#INF00e+000");
  EXPECT_EQ(exponent_text(0xFF800000u), "-1.#INF00e+000");
  EXPECT_EQ(exponent_text(0xFFC00000u), "-1.#IND00e+000");
  EXPECT_EQ(exponent_text(0x7FC00000u), "+1.#QNAN0e+000");
  EXPECT_EQ(exponent_text(0x7F800001u), "+1.#QNAN0e+000");  // signalling
  EXPECT_EQ(exponent_text(0xFF800001u), "-1.#QNAN0e+000");
  EXPECT_EQ(exponent_text(0xFFC00001u), "-1.#QNAN0e+000");
  EXPECT_EQ(exponent_text(0x7FFFFFFFu), "+1.#QNAN0e+000");
}

// The differential checks: the fast formatter against the slow exact one.
void expect_matches_reference(std::uint32_t bits) {
  ASSERT_EQ(exponent_text(bits), reference_exponent(bits)) << std::hex << "bits 0x" << bits;
}

TEST(ExponentFormAgainstReference, EveryPowerOfTwo) {
  for (std::uint32_t bits = 1; bits < 0x00800000u; bits <<= 1) expect_matches_reference(bits);
  for (std::uint32_t biased = 1; biased < 0xFF; ++biased) {
    expect_matches_reference(biased << 23);
    expect_matches_reference((biased << 23) | 0x80000000u);
  }
}

TEST(ExponentFormAgainstReference, NeighboursOfEveryPowerOfTen) {
  for (int k = -45; k <= 38; ++k) {
    const float nearest = static_cast<float>(std::pow(10.0L, k));
    const auto bits = std::bit_cast<std::uint32_t>(nearest);
    for (std::uint32_t delta = 0; delta <= 3; ++delta) {
      if (bits > delta) expect_matches_reference(bits - delta);
      if (bits + delta < 0x7F800000u) expect_matches_reference(bits + delta);
    }
  }
}

TEST(ExponentFormAgainstReference, ManyExactTies) {
  // Floats with short mantissas hold most of the exact decimal ties; keep those that are ties.
  int ties = 0;
  for (std::uint32_t bits = 0x00001000u; bits < 0x7F800000u; bits += 0x1000u) {
    float value = std::bit_cast<float>(bits);
    char exact[160];
    std::snprintf(exact, sizeof exact, "%.120e", static_cast<double>(value));
    const std::string digits = std::string(1, exact[0]) + std::string(exact + 2, 120);
    if (digits[7] == '5' && digits.find_first_not_of('0', 8) == std::string::npos) {
      ++ties;
      expect_matches_reference(bits);
      expect_matches_reference(bits | 0x80000000u);
    }
  }
  EXPECT_GT(ties, 1000);
}

TEST(ExponentFormAgainstReference, EveryBinaryExponentOfEverydayValues) {
  // From 2^-28 to 2^24, past both ends of the values formatted from a table of decades: each
  // exponent's lowest and highest mantissas and many between, of both signs.
  std::mt19937 random(20261210);
  for (std::uint32_t biased = 127 - 28; biased <= 127 + 24; ++biased) {
    for (std::uint32_t i = 0; i < 2048; ++i) {
      const std::uint32_t fraction = i < 16   ? i
                                     : i < 32 ? 0x7FFFFFu - (i - 16)
                                              : static_cast<std::uint32_t>(random()) & 0x7FFFFFu;
      expect_matches_reference((biased << 23) | fraction);
      expect_matches_reference((biased << 23) | fraction | 0x80000000u);
    }
  }
}

TEST(ExponentFormAgainstReference, RandomBitPatterns) {
  std::mt19937 random(20261208);
  for (int i = 0; i < 1'000'000; ++i)
    expect_matches_reference(static_cast<std::uint32_t>(random()));
}

TEST(ExponentForm, DoesNotDependOnTheRoundingMode) {
  const int saved = std::fegetround();
  for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    std::fesetround(mode);
    EXPECT_EQ(exponent_text(1000.0625f), "+1.000063e+003");
    EXPECT_EQ(exponent_text(0x7F7FFFFFu), "+3.402823e+038");
  }
  std::fesetround(saved);
}

std::string integer_text(char* (*format)(std::uint32_t, char*), std::uint32_t value) {
  char text[kMaxIntegerText];
  return {text, format(value, text)};
}

std::string right_text(std::uint32_t value, int width) {
  char text[kMaxIntegerText];
  return {text, format_unsigned_right(value, width, text)};
}

TEST(IntegerForms, MatchTheirPrintfForms) {
  EXPECT_EQ(integer_text(format_unsigned, 0), "0");
  EXPECT_EQ(integer_text(format_unsigned, 4294967295u), "4294967295");
  EXPECT_EQ(right_text(7, 5), "    7");
  EXPECT_EQ(right_text(65535, 5), "65535");
  EXPECT_EQ(right_text(100000, 5), "100000");
  EXPECT_EQ(right_text(4294967295u, 5), "4294967295");
  EXPECT_EQ(right_text(0, 2), " 0");
  EXPECT_EQ(right_text(10, 2), "10");
  EXPECT_EQ(integer_text(format_hex_upper, 0), "0");
  EXPECT_EQ(integer_text(format_hex_upper, 300), "12C");
  EXPECT_EQ(integer_text(format_hex_upper, 4096), "1000");
  EXPECT_EQ(integer_text(format_hex_upper, 0xFFFFFFFFu), "FFFFFFFF");

  for (std::uint64_t power = 1; power <= 1000000000; power *= 10) {  // each digit count's edges
    for (const std::uint64_t value : {power - 1, power, power + 1}) {
      ASSERT_EQ(integer_text(format_unsigned, static_cast<std::uint32_t>(value)),
                std::to_string(value));
    }
  }

  std::mt19937 random(7);
  for (int i = 0; i < 100000; ++i) {
    const auto value = static_cast<std::uint32_t>(random() >> (random() % 32));
    char expected[32];
    std::snprintf(expected, sizeof expected, "%5u", value);
    ASSERT_EQ(right_text(value, 5), expected);
    char text[kMaxIntegerText];
    ASSERT_EQ(std::string(text, format_right5(value, text)), expected);
    std::snprintf(expected, sizeof expected, "%X", value);
    ASSERT_EQ(integer_text(format_hex_upper, value), expected);
    std::snprintf(expected, sizeof expected, "%u", value);
    ASSERT_EQ(integer_text(format_unsigned, value), expected);
    std::snprintf(expected, sizeof expected, "%2u", value);
    ASSERT_EQ(right_text(value, 2), expected);
  }
  for (const std::uint32_t value : {100000u, 999999u, 1000000u, 9999999u, 10000000u}) {
    char text[kMaxIntegerText];
    ASSERT_EQ(std::string(text, format_right5(value, text)), std::to_string(value));
  }
  for (std::uint32_t value = 0; value < 100000; ++value) {  // every u16 and index column
    char expected[32];
    std::snprintf(expected, sizeof expected, "%5u", value);
    char text[8];
    ASSERT_EQ(std::string(text, format_right5(value, text)), expected);
  }
}

}  // namespace
}  // namespace model_unpack
