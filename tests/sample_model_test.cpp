// The sample model against its golden outputs in examples/.
#include <gtest/gtest.h>

#include "export/block_export.h"
#include "test_support.h"

namespace model_unpack {
namespace {

const std::filesystem::path kExamples = MODEL_UNPACK_EXAMPLES_DIR;

TEST(SampleModel, WritesTheGoldenExportFilesAndInfoFile) {
  testing::ScratchDirectory directory;
  std::filesystem::copy_file(kExamples / "sample.zmdl", "sample.zmdl");
  testing::run_job("sample");
  for (const ExportSpec& row : kExportSpecs) {
    EXPECT_EQ(testing::read_file(row.export_file),
              testing::read_file(kExamples / "sample-output" / row.export_file))
        << row.export_file;
  }
  EXPECT_EQ(testing::read_file("sample.txt"),
            testing::read_file(kExamples / "sample-output" / "sample.txt"));
  EXPECT_EQ(testing::read_file("sample.zmdl"), testing::read_file(kExamples / "sample.zmdl"));
}

}  // namespace
}  // namespace model_unpack
