// Checks the "%+e" formatter against the slow exact method for all 2^32 f32 bit patterns, split
// over the machine's cores. Each positive pattern's reference also serves its negative twin.
// Usage: check-float-format [THREADS]   (prints the mismatches, then a summary line)
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "float_reference.h"
#include "report/float_format.h"

namespace {

using model_unpack::format_exponent;
using model_unpack::kExponentTextSize;
using model_unpack::testing::reference_exponent;

std::string fast(std::uint32_t bits) {
  char text[kExponentTextSize];
  format_exponent(bits, text);
  return {text, kExponentTextSize};
}

std::string negative_twin(std::uint32_t positive_bits, const std::string& positive_text) {
  const std::uint32_t bits = positive_bits | 0x80000000u;
  const bool zero = (positive_bits & 0x7FFFFFFFu) == 0;
  const bool not_finite = ((positive_bits >> 23) & 0xFF) == 0xFF;
  if (zero || not_finite) return reference_exponent(bits);
  std::string twin = positive_text;
  twin[0] = '-';
  return twin;
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned threads =
      argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : std::thread::hardware_concurrency();
  constexpr std::uint64_t kPositivePatterns = 0x80000000ull;
  std::atomic<std::uint64_t> mismatches{0};
  std::atomic<std::uint64_t> next_chunk{0};
  std::mutex print;
  constexpr std::uint64_t kChunk = 1 << 20;

  auto work = [&] {
    for (;;) {
      const std::uint64_t begin = next_chunk.fetch_add(kChunk);
      if (begin >= kPositivePatterns) return;
      for (std::uint64_t pattern = begin; pattern < begin + kChunk; ++pattern) {
        const auto bits = static_cast<std::uint32_t>(pattern);
        const std::string expected = reference_exponent(bits);
        const std::string expected_negative = negative_twin(bits, expected);
        const std::string got = fast(bits);
        const std::string got_negative = fast(bits | 0x80000000u);
        if (got != expected || got_negative != expected_negative) {
          ++mismatches;
          std::lock_guard<std::mutex> lock(print);
          std::printf("mismatch 0x%08X: %s / %s, expected %s / %s\n", bits, got.c_str(),
                      got_negative.c_str(), expected.c_str(), expected_negative.c_str());
        }
      }
    }
  };
  std::vector<std::thread> workers;
  for (unsigned i = 0; i < (threads == 0 ? 1 : threads); ++i) workers.emplace_back(work);
  for (std::thread& worker : workers) worker.join();
  std::printf("checked 4294967296 patterns: %llu mismatching pairs\n",
              static_cast<unsigned long long>(mismatches.load()));
  return mismatches == 0 ? 0 : 1;
}
