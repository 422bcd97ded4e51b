// The export phase: which blocks are copied, into which files, with which bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "export/block_export.h"
#include "job/console_report.h"
#include "model/block_kinds.h"
#include "model_builder.h"
#include "test_support.h"

namespace model_unpack {
namespace {

using testing::edges;
using testing::floats3;
using testing::materials;
using testing::ModelBuilder;
using testing::Payload;
using testing::read_file;
using testing::run_job;
using testing::u16s;
using testing::write_file;

class ExportTest : public ::testing::Test {
 protected:
  // Runs a job on the built model and returns its console output.
  std::string run(const ModelBuilder& model, const std::string& name = "m") {
    write_file(name + ".zmdl", model.bytes());
    return run_job(name);
  }

  // The export lines of a job's console output: from the first row to the info file phase.
  static std::string export_lines(const std::string& printed) {
    const auto begin = printed.find("Exporting");
    const auto end = printed.find("Creating info file");
    if (begin == std::string::npos) return "";
    return printed.substr(begin, end - begin);
  }

  testing::ScratchDirectory directory_;
};

std::string u32_bytes(std::uint32_t value) {
  return Payload().u32(value).bytes();
}
std::string f32_bytes(float value) {
  return Payload().f32(value).bytes();
}

TEST_F(ExportTest, CopiesEachBlockRawWithItsCountWord) {
  const Payload positions = floats3({1.0f, -2.5f, 0.0f, 4.0f, 5.0f, 6.0f});
  run(ModelBuilder().block("positions", positions).block("vertexes", u16s(6, {1, 2, 3, 4, 5, 6})));
  EXPECT_EQ(read_file("pos.txt"), positions.bytes());
  EXPECT_EQ(read_file("vertex.txt"), u16s(6, {1, 2, 3, 4, 5, 6}).bytes());
}

TEST_F(ExportTest, CountZeroWritesTheCountWordsAlone) {
  run(ModelBuilder()
          .block("positions", Payload().u32(0))
          .block("edges", Payload().u32(7).u32(0))
          .block("bones", Payload().u32(0)));
  EXPECT_EQ(read_file("pos.txt"), u32_bytes(0));
  EXPECT_EQ(read_file("edges.txt"), u32_bytes(7) + u32_bytes(0));
  EXPECT_EQ(read_file("bones.txt"), u32_bytes(0));
}

TEST_F(ExportTest, EdgesCopyBothCountWordsAndLoopOnTheSecond) {
  Payload block = edges(7, {1, 2, 3, 4, 5, 6});
  run(ModelBuilder().block("edges", block.raw("trailing bytes not copied")));
  EXPECT_EQ(read_file("edges.txt"), edges(7, {1, 2, 3, 4, 5, 6}).bytes());
  EXPECT_EQ(read_file("edges.txt").size(), 20u);
}

TEST_F(ExportTest, EdgesRecordKeepsTheSecondCountWord) {
  BlockDirectory directory;
  BlockRecord record;
  std::memcpy(record.block_name.data(), "edges", 5);
  directory.records.push_back(record);
  const std::string bytes = edges(7, {1, 2, 3, 4, 5, 6}).bytes();
  auto model = testing::model_file_of(bytes);
  std::FILE* console = std::fopen("/dev/null", "w");
  ConsoleReport said(ConsoleOutput{console, false});
  const ExportResult exported = export_blocks(
      directory, *model, ExportTarget{Folder::current(), std::nullopt, system_files()}, said);
  std::fclose(console);
  EXPECT_EQ(exported.element_counts, std::vector<std::uint32_t>{2u});
}

Payload bone(std::string_view extra) {
  Payload payload;
  payload.name("first").name("second").fill(64, 0xD7);
  return payload.u32(static_cast<std::uint32_t>(extra.size())).raw(extra);
}

TEST_F(ExportTest, BonesDropTheExtraLengthWordAndKeepEveryExtraByte) {
  std::string extra100;
  for (int i = 0; i < 100; ++i) extra100.push_back(static_cast<char>(i));
  run(ModelBuilder().block("bones", Payload()
                                        .u32(3)
                                        .raw(bone("").bytes())
                                        .raw(bone("ten bytes!").bytes())
                                        .raw(bone(extra100).bytes())));
  const std::string fields = Payload().name("first").name("second").fill(64, 0xD7).bytes();
  EXPECT_EQ(read_file("bones.txt"),
            u32_bytes(3) + fields + fields + "ten bytes!" + fields + extra100);
  EXPECT_EQ(read_file("bones.txt").size(), 4u + 192 + 202 + 292);
}

TEST_F(ExportTest, CollisionBodiesCarryTheirGroupCountAndPoints) {
  Payload bodies;
  bodies.u32(2).name("empty").u16(0).name("one").u16(1);
  for (int i = 0; i < 9; ++i) bodies.f32(static_cast<float>(i));
  run(ModelBuilder().block("collisebodies", bodies));
  EXPECT_EQ(read_file("collisebodies.txt"), bodies.bytes());
  EXPECT_EQ(read_file("collisebodies.txt").size(), 4u + 66 + 102);
}

TEST_F(ExportTest, CollisionBodiesPastTheEndHaveNoGroups) {
  // The file ends after the first body: the others repeat its name and read G = 0.
  Payload bodies;
  bodies.u32(3).name("hull").u16(1);
  for (int i = 0; i < 9; ++i) bodies.f32(static_cast<float>(i));
  run(ModelBuilder().block("collisebodies", bodies));
  const std::string past_end = Payload().name("hull").u16(0).bytes();
  EXPECT_EQ(read_file("collisebodies.txt"), bodies.bytes() + past_end + past_end);
}

TEST_F(ExportTest, UnitsPastTheEndRepeatTheLastValueReadEvenAcrossRows) {
  // positions declares 5 elements but holds 2; the 4 bytes after them are the last of the
  // file and are normals' count word, 2. positions reads them as its next unit, then every
  // unit repeats them, in positions and in normals, whose elements all lie past the end.
  const std::uint32_t end_of_positions = 28 + 3 * 68 + 4 + 6 * 4;
  run(ModelBuilder()
          .block("positions", Payload().u32(5).f32(1).f32(2).f32(3).f32(4).f32(5).f32(6))
          .entry("normals", end_of_positions)
          .place(end_of_positions, Payload().u32(2)));

  std::string expected_positions = u32_bytes(5);
  for (int i = 1; i <= 6; ++i) expected_positions += f32_bytes(static_cast<float>(i));
  for (int i = 0; i < 9; ++i) expected_positions += u32_bytes(2);
  EXPECT_EQ(read_file("pos.txt"), expected_positions);
  EXPECT_EQ(read_file("pos.txt").size(), 4u + 5 * 12);

  std::string expected_normals = u32_bytes(2);
  for (int i = 0; i < 6; ++i) expected_normals += u32_bytes(2);
  EXPECT_EQ(read_file("normals.txt"), expected_normals);
}

TEST_F(ExportTest, PartialUnitReplacesOnlyTheBytesThatArrived) {
  // Element 0 is whole; element 1 ends one byte into its first value.
  const std::string file = ModelBuilder()
                               .block("positions", Payload()
                                                       .u32(2)
                                                       .f32_bits(0x11223344)
                                                       .f32_bits(0x55667788)
                                                       .f32_bits(0x99AABBCC)
                                                       .raw("\xEE"))
                               .bytes();
  write_file("m.zmdl", file);
  run_job("m");
  const std::string expected = u32_bytes(2) + u32_bytes(0x11223344) + u32_bytes(0x55667788) +
                               u32_bytes(0x99AABBCC) + u32_bytes(0x99AABBEE) +
                               u32_bytes(0x99AABBEE) + u32_bytes(0x99AABBEE);
  EXPECT_EQ(read_file("pos.txt"), expected);
}

TEST_F(ExportTest, OnlyTheFirstOfDuplicatesIsCopiedAndAnnounced) {
  const std::string printed = run(ModelBuilder()
                                      .block("materials", materials({"first"}))
                                      .block("materials", materials({"second", "third"})));
  EXPECT_EQ(read_file("material.txt"), materials({"first"}).bytes());
  EXPECT_EQ(export_lines(printed), "Exporting materials\nMaterials exported\n");
}

TEST_F(ExportTest, NamesMatchExactlyUpToTheirNul) {
  const std::string printed = run(ModelBuilder()
                                      .block("Positions", floats3({1, 2, 3}))
                                      .block(std::string("normals\0xyz", 11), floats3({4, 5, 6})));
  EXPECT_FALSE(testing::exists("pos.txt"));
  EXPECT_EQ(read_file("normals.txt"), floats3({4, 5, 6}).bytes());
  EXPECT_EQ(export_lines(printed), "Exporting normals\nNormals exported\n");
}

TEST_F(ExportTest, ConsoleLinesFollowTheTableAndBonelinksHasNoCompletionLine) {
  const std::string printed = run(ModelBuilder()
                                      .block("bones", Payload().u32(0))
                                      .block("bonelinks", u16s(1, {1}))
                                      .block("vertex_tris", u16s(3, {1, 2, 3}))
                                      .block("unknown", Payload().u32(9)));
  EXPECT_EQ(export_lines(printed),
            "Exporting vertex_tris\nVertex_tris exported\nExporting bonelinks\n"
            "Exporting bones\nBones exported\n");
}

TEST_F(ExportTest, NoKnownBlockPrintsAndCreatesNothing) {
  const std::string printed = run(ModelBuilder().block("texcoords", Payload().u32(1)));
  EXPECT_EQ(export_lines(printed), "");
  for (const char* file : kExportFileDeletionOrder) EXPECT_FALSE(testing::exists(file));
}

TEST_F(ExportTest, ExportFilesGoToTheCurrentDirectory) {
  std::filesystem::create_directory("models");
  ModelBuilder().block("tangents", floats3({1, 2, 3})).write("models/castle.zmdl");
  run_job("models/castle");
  EXPECT_EQ(read_file("tangents.txt"), floats3({1, 2, 3}).bytes());
  EXPECT_FALSE(testing::exists("models/tangents.txt"));
  EXPECT_TRUE(testing::exists("models/castle.txt"));
}

TEST_F(ExportTest, ExportFileThatIsTheInfoFileIsNotOpened) {
  const std::string printed = run(ModelBuilder().block("positions", floats3({1, 2, 3})), "pos");
  EXPECT_EQ(export_lines(printed),
            "Exporting positions\nError: export file pos.txt is the output file :(\n");
  const std::string info = read_file("pos.txt");
  EXPECT_EQ(info.rfind("Info file pos.txt", 0), 0u) << "the info file survives";
  EXPECT_TRUE(info.ends_with("---End of file---"));
}

TEST_F(ExportTest, ExportFileThatCannotBeOpenedStillReadsItsBlock) {
  // normals repeats the positions' last value: the failed row must still have read it.
  std::filesystem::create_directory("pos.txt");
  const std::string printed =
      run(ModelBuilder().block("positions", floats3({1, 2, 3})).block("normals", Payload().u32(1)));
  EXPECT_EQ(export_lines(printed),
            "Exporting positions\nError opening export file pos.txt :(\n"
            "Exporting normals\nNormals exported\n");
  EXPECT_EQ(read_file("normals.txt"), u32_bytes(1) + f32_bytes(3) + f32_bytes(3) + f32_bytes(3));
}

}  // namespace
}  // namespace model_unpack
