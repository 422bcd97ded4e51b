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

// What a model's positions and normals hold: coordinates within a few hundred units and
// unit-length directions, their signs and decades mixed at random.
std::vector<std::uint32_t> everyday_floats() {
  std::mt19937 random(5);
  std::uniform_real_distribution<float> coordinate(-200.0f, 200.0f);
  // Too many for a branch predictor to learn their order.
  std::vector<std::uint32_t> bits(1 << 16);
  for (auto& value : bits) {
    const float number = random() % 3 == 0 ? coordinate(random) / 200 : coordinate(random);
    std::memcpy(&value, &number, sizeof value);
  }
  return bits;
}

std::vector<std::uint32_t> random_u16s() {
  std::mt19937 random(7);
  std::vector<std::uint32_t> values(4096);
  for (auto& value : values) value = random() & 0xFFFF;
  return values;
}

// Formats the values (a power of two of them) round-robin with `format(value, text)`.
template <typename Format>
void format_each(benchmark::State& state, const std::vector<std::uint32_t>& values, Format format) {
  char text[32];
  std::size_t i = 0;
  const std::size_t mask = values.size() - 1;
  for (auto _ : state) {
    format(values[i++ & mask], text);
    benchmark::DoNotOptimize(text);
  }
}

void BM_ExponentForm(benchmark::State& state) {
  format_each(state, random_finite_floats(),
              [](std::uint32_t bits, char* text) { format_exponent(bits, text); });
}
BENCHMARK(BM_ExponentForm);

void BM_ExponentFormEverydayValues(benchmark::State& state) {
  format_each(state, everyday_floats(),
              [](std::uint32_t bits, char* text) { format_exponent(bits, text); });
}
BENCHMARK(BM_ExponentFormEverydayValues);

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
