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

void BM_ExponentForm(benchmark::State& state) {
  const auto values = random_finite_floats();
  char text[32];
  std::size_t i = 0;
  for (auto _ : state) {
    format_exponent(values[i++ & 4095], text);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_ExponentForm);

void BM_SnprintfExponent(benchmark::State& state) {
  const auto values = random_finite_floats();
  char text[32];
  std::size_t i = 0;
  for (auto _ : state) {
    float value = 0;
    std::memcpy(&value, &values[i++ & 4095], sizeof value);
    std::snprintf(text, sizeof text, "%+e", static_cast<double>(value));
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_SnprintfExponent);

void BM_Unsigned5(benchmark::State& state) {
  const auto values = random_u16s();
  char text[32];
  std::size_t i = 0;
  for (auto _ : state) {
    format_right5(values[i++ & 4095], text);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_Unsigned5);

void BM_SnprintfUnsigned5(benchmark::State& state) {
  const auto values = random_u16s();
  char text[32];
  std::size_t i = 0;
  for (auto _ : state) {
    std::snprintf(text, sizeof text, "%5u", values[i++ & 4095]);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_SnprintfUnsigned5);

}  // namespace

BENCHMARK_MAIN();
