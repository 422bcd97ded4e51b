// Nanoseconds per value for the info file's number forms, with the C library as the baseline.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "report/float_format.h"
#include "report/number_format.h"

namespace {

using namespace model_unpack;

std::vector<std::uint32_t> random_finite_floats() {
  std::mt19937 random(42);
  std::vector<std::uint32_t> bits;
  while (bits.size() < 4096) {
    const auto candidate = static_cast<std::uint32_t>(random());
    if (((candidate >> 23) & 0xFF) != 0xFF) bits.push_back(candidate);
  }
  return bits;
}

std::vector<std::uint32_t> random_u16s() {
  std::mt19937 random(7);
  std::vector<std::uint32_t> values(4096);
  for (auto& value : values) value = random() & 0xFFFF;
  return values;
}

// Formats the values round-robin with `format(value, text)`.
template <typename Format>
void format_each(benchmark::State& state, const std::vector<std::uint32_t>& values, Format format) {
  char text[32];
  std::size_t i = 0;
  for (auto _ : state) {
    format(values[i++ & 4095], text);
    benchmark::DoNotOptimize(text);
  }
}

void BM_ExponentForm(benchmark::State& state) {
  format_each(state, random_finite_floats(),
              [](std::uint32_t bits, char* text) { format_exponent(bits, text); });
}
BENCHMARK(BM_ExponentForm);

void BM_SnprintfExponent(benchmark::State& state) {
  format_each(state, random_finite_floats(), [](std::uint32_t bits, char* text) {
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    std::snprintf(text, 32, "%+e", static_cast<double>(value));
  });
}
BENCHMARK(BM_SnprintfExponent);

void BM_Unsigned5(benchmark::State& state) {
  format_each(state, random_u16s(),
              [](std::uint32_t value, char* text) { format_right5(value, text); });
}
BENCHMARK(BM_Unsigned5);

void BM_SnprintfUnsigned5(benchmark::State& state) {
  format_each(state, random_u16s(),
              [](std::uint32_t value, char* text) { std::snprintf(text, 32, "%5u", value); });
}
BENCHMARK(BM_SnprintfUnsigned5);

}  // namespace

BENCHMARK_MAIN();
