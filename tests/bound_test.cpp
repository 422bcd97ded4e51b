// A damaged file cannot make the job write without end: a block's elements may claim at most
// the model file's size, and a cut block says so.
#include <gtest/gtest.h>

#include "model/block_kinds.h"
#include "model_builder.h"
#include "test_support.h"

namespace model_unpack {
namespace {

namespace fs = std::filesystem;
using testing::ModelBuilder;
using testing::Payload;
using testing::read_file;

std::string warning(std::string_view block, std::uint64_t handled, std::uint64_t count) {
  return "Warning: " + std::string(block) + " claims more data than the model file has; " +
         std::to_string(handled) + " of " + std::to_string(count) + " elements copied\n";
}

class BoundTest : public ::testing::Test {
 protected:
  // Runs a job on `bytes` as m.zmdl; returns the console lines.
  std::string run(const std::string& bytes) {
    testing::write_file("m.zmdl", bytes);
    return testing::run_job("m");
  }
  testing::ScratchDirectory directory_;
};

TEST_F(BoundTest, TheSampleCutShortWritesLittleAndSaysWhatWasCut) {
  const std::string sample = read_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl");
  // Cut at 60 bytes, the first entry's offset is header text: a count word of 1886216563.
  EXPECT_NE(run(sample.substr(0, 60))
                .find("Exporting positions\n" + warning("positions", 5, 1886216563) +
                      "Positions exported\n"),
            std::string::npos);
  for (std::size_t size : {60, 100, 300, 700, 1200, 1800}) {
    const std::string printed = run(sample.substr(0, size));
    for (const char* file : kExportFileDeletionOrder) {
      if (testing::exists(file)) {
        EXPECT_LE(fs::file_size(file), size + 8) << file << " " << size;
      }
    }
    EXPECT_LE(fs::file_size("m.txt"), 60 * size) << size;
    EXPECT_TRUE(printed.ends_with("Info file created\n"));
  }
}

TEST_F(BoundTest, CountBombsAreCutAtTheModelFileSize) {
  Payload bones;
  bones.u32(0xFFFFFFFF).name("root").name("tip").fill(64, 'D').u32(0xFFFFFFFF).fill(20, 'x');
  const std::string bytes =
      ModelBuilder()
          .block("edges", Payload().u32(7).u32(0xFFFFFFFF).u16(1))
          .block("bones", bones)
          .block("collisebodies", Payload().u32(0xFFFFFFFF).name("hull").u16(65535))
          .bytes();
  const std::uint64_t size = bytes.size();
  const std::string printed = run(bytes);
  EXPECT_NE(printed.find("Exporting edges\n" + warning("edges", size / 6, 0xFFFFFFFF) +
                         "Edges exported\n"),
            std::string::npos);
  EXPECT_NE(
      printed.find("Exporting bones\n" + warning("bones", 1, 0xFFFFFFFF) + "Bones exported\n"),
      std::string::npos);
  EXPECT_NE(printed.find("Exporting Collisebodies\n" + warning("collisebodies", 1, 0xFFFFFFFF) +
                         "Collisebodies exported\n"),
            std::string::npos);
  EXPECT_EQ(fs::file_size("edges.txt"), 8 + 6 * (size / 6));
  EXPECT_EQ(fs::file_size("bones.txt"), 4 + 192 + (size - 196));
  EXPECT_EQ(fs::file_size("collisebodies.txt"), 4 + 66 + 36 * ((size - 66) / 36));
  // The info file cuts silently, with one budget for the whole file: the edges spend it, so
  // the bones block keeps its listing and shows no element.
  const std::string info = read_file("m.txt");
  EXPECT_NE(info.find("Name of block: bones\r\nAdress of block: 0x"), std::string::npos);
  EXPECT_EQ(info.find("Bone #1"), std::string::npos);
  EXPECT_LE(info.size(), 40 * size);
}

TEST_F(BoundTest, ADirectoryNamingOneBlockOftenKeepsTheInfoFileLinearInTheModel) {
  // 400 entries, every one the same block claiming far more elements than the file holds:
  // each alone may show a file's worth of elements, all of them together only one.
  ModelBuilder builder;
  constexpr std::uint32_t kBlockAt = 28 + 68 * 401 + 100;
  for (int i = 0; i < 400; ++i) builder.entry(i % 2 ? "positions" : "vertexes", kBlockAt);
  const std::string bytes =
      builder.place(kBlockAt, Payload().u32(0xFFFFFFFF).fill(3000, 0x41)).bytes();
  run(bytes);
  EXPECT_LE(fs::file_size("m.txt"), 10 * bytes.size() + 65536);
  const std::string info = read_file("m.txt");
  EXPECT_NE(info.find("--Block number 399--"), std::string::npos) << "every entry is listed";
  EXPECT_TRUE(info.ends_with("---End of file---"));
}

TEST_F(BoundTest, ClaimsThatFitAreWrittenInFullPastTheEndOfTheFile) {
  // The bone's 500 extra bytes run past the end of the file but fit in its size.
  Payload bone;
  bone.u32(1).name("root").name("").fill(64, 'D').u32(500).fill(10, 'x');
  const std::string bytes =
      ModelBuilder().block("bones", bone).place(1000, Payload().u32(0)).bytes();
  const std::string printed = run(bytes);
  EXPECT_EQ(printed.find("Warning"), std::string::npos);
  EXPECT_EQ(fs::file_size("bones.txt"), 4u + 192 + 500);
}

TEST_F(BoundTest, ACollisionBodyIsCutBetweenItsPointGroups) {
  Payload body;
  body.u32(1).name("hull").u16(100);
  for (int i = 0; i < 9 * 100; ++i) body.f32(static_cast<float>(i));
  const ModelBuilder model = ModelBuilder().block("collisebodies", body).truncate_at(1000);
  EXPECT_NE(run(model.bytes()).find(warning("collisebodies", 1, 1)), std::string::npos);
  // The groups that fit in the file's size, the last ones repeating the last value read.
  const std::uint64_t groups = (1000 - 66) / 36;
  const std::string exported = read_file("collisebodies.txt");
  const std::size_t present = 1000 - model.payload_offset(0);
  EXPECT_EQ(exported.size(), 4 + 66 + 36 * groups);
  EXPECT_TRUE(exported.substr(0, present) == body.bytes().substr(0, present));
  const std::size_t last_whole_unit = 70 + 4 * ((present - 70) / 4 - 1);
  EXPECT_TRUE(exported.substr(exported.size() - 4) == body.bytes().substr(last_whole_unit, 4));
}

}  // namespace
}  // namespace model_unpack
