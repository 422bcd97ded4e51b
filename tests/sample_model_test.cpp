// The sample model against its golden outputs in examples/.
#include <gtest/gtest.h>

#include "model/block_kinds.h"
#include "test_support.h"

namespace model_unpack {
namespace {

const std::filesystem::path kExamples = MODEL_UNPACK_EXAMPLES_DIR;

TEST(SampleModel, WritesTheGoldenExportFilesAndInfoFile) {
  testing::ScratchDirectory directory;
  std::filesystem::copy_file(kExamples / "sample.zmdl", "sample.zmdl");
  testing::run_job("sample");
  for (const char* file : kExportFileDeletionOrder) {
    EXPECT_EQ(testing::read_file(file), testing::read_file(kExamples / "sample-output" / file))
        << file;
  }
  EXPECT_EQ(testing::read_file("sample.txt"),
            testing::read_file(kExamples / "sample-output" / "sample.txt"));
  EXPECT_EQ(testing::read_file("sample.zmdl"), testing::read_file(kExamples / "sample.zmdl"));
}

}  // namespace
}  // namespace model_unpack
