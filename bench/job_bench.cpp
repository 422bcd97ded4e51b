// Whole conversion jobs through the library on synthetic models of 10 and 100 MB, and the
// float rendering alone (a model holding only a positions block).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "console/typed_name.h"
#include "large_model.h"

namespace {

using namespace model_unpack;

// A private working directory holding one model, removed afterwards.
class JobDirectory {
 public:
  explicit JobDirectory(const testing::ModelBuilder& model) {
    std::string pattern = (std::filesystem::temp_directory_path() / "model-bench-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
    model.write("model.zmdl");
    size_ = std::filesystem::file_size("model.zmdl");
    console_ = std::fopen("/dev/null", "w");
  }
  ~JobDirectory() {
    std::fclose(console_);
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(path_);
  }
  void run_job() const {
    NameBuffer name{};
    std::memcpy(name.data(), "model", 5);
    process_model_file(name, ConsoleOutput{console_, false});
  }
  std::uintmax_t size() const { return size_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
  std::uintmax_t size_ = 0;
  std::FILE* console_ = nullptr;
};

void BM_WholeJob(benchmark::State& state) {
  const JobDirectory directory(
      testing::large_model(static_cast<std::size_t>(state.range(0)) * 1000000));
  for (auto _ : state) directory.run_job();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * directory.size()));
}
BENCHMARK(BM_WholeJob)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FloatBlock(benchmark::State& state) {
  testing::Payload positions;
  const std::uint32_t count = static_cast<std::uint32_t>(state.range(0)) * 1000000 / 12;
  positions.u32(count);
  for (std::uint32_t i = 0; i < 3 * count; ++i)
    positions.f32(static_cast<float>(i % 20001) * 0.01f - 100.0f);
  const JobDirectory directory(testing::ModelBuilder().block("positions", positions));
  for (auto _ : state) directory.run_job();
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 3 * count);
}
BENCHMARK(BM_FloatBlock)->Arg(10)->Unit(benchmark::kMillisecond)->UseRealTime();

// A short file declaring many elements: nearly all the work lies past the end of the file.
void BM_ManyBodiesPastTheEnd(benchmark::State& state) {
  testing::Payload bodies;
  bodies.u32(static_cast<std::uint32_t>(state.range(0))).name("hull").u16(2);
  const JobDirectory directory(testing::ModelBuilder().block("collisebodies", bodies));
  for (auto _ : state) directory.run_job();
}
BENCHMARK(BM_ManyBodiesPastTheEnd)->Arg(60000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
