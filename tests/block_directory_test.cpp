// Reading the header and directory, the console listing, and the guards that protect the model.
#include "model/block_directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "model_builder.h"
#include "test_support.h"

namespace model_unpack {
namespace {

using testing::ModelBuilder;
using testing::Payload;
using testing::read_file;
using testing::run_job;
using testing::ScratchDirectory;
using testing::write_file;

constexpr const char* kNameLines = "Input file: m.zmdl   \noutput file: m.txt   \n";

// The console lines of the job up to the end of the directory listing.
std::string listing_of(const std::string& model_bytes, bool terminal = false) {
  ScratchDirectory directory;
  write_file("m.zmdl", model_bytes);
  const std::string printed = run_job("m", terminal);
  const auto end = printed.find("Creating info file\n");
  return printed.substr(0, printed.find("Exporting") < end ? printed.find("Exporting") : end);
}

TEST(DirectoryListing, EmptyFileListsAnEmptyHeaderAndNoBlocks) {
  EXPECT_EQ(listing_of(""), std::string(kNameLines) + "Header of file: \n\n");
}

TEST(DirectoryListing, FileEndingInsideTheHeaderShowsWhatWasRead) {
  EXPECT_EQ(listing_of("cut header"), std::string(kNameLines) + "Header of file: cut header\n\n");
}

TEST(DirectoryListing, HeaderTextStopsAtItsFirstNulAndAt28Characters) {
  EXPECT_EQ(listing_of(ModelBuilder().header(std::string("ab\0cd", 5)).bytes()),
            std::string(kNameLines) + "Header of file: ab\n\n");
  EXPECT_EQ(listing_of(ModelBuilder().header(std::string(40, 'h')).bytes()),
            std::string(kNameLines) + "Header of file: " + std::string(28, 'h') + "\n\n");
}

TEST(DirectoryListing, ListsEachNamedEntryWithItsHexOffset) {
  const std::string model = ModelBuilder()
                                .header("demo")
                                .entry("positions", 0x12C)
                                .entry("positions", 0xABCDEF12)
                                .entry("zero", 0)
                                .bytes();
  EXPECT_EQ(listing_of(model), std::string(kNameLines) +
                                   "Header of file: demo\n\n"
                                   "positions   12c\npositions   abcdef12\nzero   0\n");
}

TEST(DirectoryListing, FileEndingInsideANameFieldListsThatNameAtOffsetZero) {
  const std::string model =
      ModelBuilder().header("h").entry("positions", 0x99).truncate_at(28 + 5).bytes();
  EXPECT_EQ(listing_of(model), std::string(kNameLines) + "Header of file: h\n\nposit   0\n");
}

TEST(DirectoryListing, FileEndingInsideAnOffsetKeepsItsLowOrderBytes) {
  const std::string model =
      ModelBuilder().header("h").entry("normals", 0x00CC1234).truncate_at(28 + 64 + 2).bytes();
  EXPECT_EQ(listing_of(model), std::string(kNameLines) + "Header of file: h\n\nnormals   1234\n");
}

TEST(DirectoryListing, KeepsEntriesPastTheTwentyNinth) {
  ModelBuilder builder;
  std::string expected = std::string(kNameLines) + "Header of file: \n\n";
  for (int i = 0; i < 40; ++i) {
    const std::string name = "block" + std::to_string(i);
    builder.entry(name, static_cast<std::uint32_t>(i));
    char line[80];
    std::snprintf(line, sizeof line, "%s   %x\n", name.c_str(), i);
    expected += line;
  }
  EXPECT_EQ(listing_of(builder.bytes()), expected);
}

TEST(DirectoryListing, NameFillingAll64BytesIsA64CharacterName) {
  const std::string name(64, 'q');
  EXPECT_EQ(listing_of(ModelBuilder().entry(name, 1).bytes()),
            std::string(kNameLines) + "Header of file: \n\n" + name + "   1\n");
}

TEST(DirectoryListing, ControlBytesFromTheFileAreMaskedOnlyOnATerminal) {
  const std::string model =
      ModelBuilder().header("\x1b[2Jhead\x7f").entry("we\x1b]0;x\x07ird", 2).bytes();
  EXPECT_EQ(listing_of(model, true),
            std::string(kNameLines) + "Header of file: ?[2Jhead?\n\nwe?]0;x?ird   2\n");
  EXPECT_EQ(listing_of(model, false), std::string(kNameLines) +
                                          "Header of file: \x1b[2Jhead\x7f\n\n"
                                          "we\x1b]0;x\x07ird   2\n");
}

TEST(BlockDirectory, ReadsCountsAndKeepsTheFirstOfEachKnownName) {
  const std::string bytes = ModelBuilder()
                                .block("materials", Payload().u32(3))
                                .block("materials", Payload().u32(5))
                                .entry("far", 0xFFFFFF00)
                                .block("edges", Payload().u32(7).u32(2))
                                .block("short", Payload().raw("\x09\x01"))
                                .bytes();
  auto model = testing::model_file_of(bytes);
  std::vector<BlockRecord> listed;
  BlockDirectory directory =
      read_block_directory(*model, [&](const BlockRecord& record) { listed.push_back(record); });
  for (BlockRecord& record : listed) read_element_count(record, *model);

  ASSERT_EQ(directory.count(), 5u);
  ASSERT_EQ(listed.size(), 5u);
  EXPECT_EQ(listed[0].element_count, 3u);
  EXPECT_EQ(listed[1].element_count, 5u);
  EXPECT_EQ(listed[2].element_count, 0u) << "a count that cannot be read is 0";
  EXPECT_EQ(listed[3].element_count, 7u) << "the first word, like any block";
  EXPECT_EQ(listed[4].element_count, 0x0109u) << "a partial word fills low bytes";
  EXPECT_EQ(listed[3].slot, 3u);
  // Only the first entry of each known name is kept.
  ASSERT_EQ(directory.records.size(), 2u);
  EXPECT_EQ(find_block(directory, "materials"), &directory.records[0]);
  EXPECT_EQ(directory.records[0].slot, 0u);
  EXPECT_EQ(directory.records[1].name(), "edges");
  EXPECT_EQ(find_block(directory, "Materials"), nullptr);
  EXPECT_EQ(find_block(directory, "material"), nullptr);
}

TEST(BlockDirectory, NameMatchesUpToItsNulWhateverFollows) {
  const std::string bytes = ModelBuilder().entry(std::string("bones\0junk", 10), 0).bytes();
  auto model = testing::model_file_of(bytes);
  BlockDirectory directory = read_block_directory(*model);
  EXPECT_NE(find_block(directory, "bones"), nullptr);
}

// --- Guards: a job never empties or deletes the model file it was asked to read.

class Guards : public ::testing::Test {
 protected:
  ScratchDirectory directory_;
  const std::string model_ = ModelBuilder().header("precious").entry("positions", 0).bytes();
};

TEST_F(Guards, InfoFileThatIsTheModelFileIsRefused) {
  write_file("castle.txt", model_);
  write_file("pos.txt", "old export");
  EXPECT_EQ(run_job("castle.txt"),
            "Input file: castle.txt   \noutput file: castle.txt   \n"
            "Error: output file is the input file :(\n");
  EXPECT_EQ(read_file("castle.txt"), model_);
  EXPECT_EQ(read_file("pos.txt"), "old export") << "nothing is deleted either";
}

TEST_F(Guards, InfoFileHardLinkedToTheModelFileIsRefused) {
  write_file("castle.zmdl", model_);
  ASSERT_EQ(link("castle.zmdl", "castle.txt"), 0);
  EXPECT_NE(run_job("castle").find("Error: output file is the input file :(\n"), std::string::npos);
  EXPECT_EQ(read_file("castle.zmdl"), model_);
}

TEST_F(Guards, ModelFileThatIsAnExportFileIsRefused) {
  write_file("bones.txt", model_);
  EXPECT_EQ(run_job("./bones.txt"),
            "Input file: ./bones.txt   \noutput file: .txt   \n"
            "Error: input file is an export file :(\n");
  EXPECT_EQ(read_file("bones.txt"), model_);
  EXPECT_FALSE(testing::exists(".txt"));

  std::filesystem::create_directory("models");
  write_file("models/castle.zmdl", model_);
  ASSERT_EQ(symlink("models/castle.zmdl", "vertex.txt"), 0);
  EXPECT_NE(run_job("models/castle").find("Error: input file is an export file :(\n"),
            std::string::npos);
  EXPECT_EQ(read_file("models/castle.zmdl"), model_);
}

TEST_F(Guards, MissingModelFileStillDeletesTheExportFiles) {
  write_file("pos.txt", "old export");
  write_file("collisebodies.txt", "old export");
  EXPECT_EQ(run_job("absent"),
            "Input file: absent.zmdl   \noutput file: absent.txt   \n"
            "Error opening input file :(\n");
  EXPECT_FALSE(testing::exists("pos.txt"));
  EXPECT_FALSE(testing::exists("collisebodies.txt"));
  EXPECT_FALSE(testing::exists("absent.txt"));
}

TEST_F(Guards, ModelFileThatIsNotARegularFileIsNotOpened) {
  std::filesystem::create_directory("dir.zmdl");
  EXPECT_NE(run_job("dir.zmdl").find("Error opening input file :(\n"), std::string::npos);
  ASSERT_EQ(mkfifo("pipe.zmdl", 0600), 0);
  EXPECT_NE(run_job("pipe.zmdl").find("Error opening input file :(\n"), std::string::npos);
  EXPECT_FALSE(testing::exists("pipe.txt"));
}

TEST_F(Guards, InfoFileThatCannotBeOpenedEndsTheJob) {
  write_file("castle.zmdl", model_);
  std::filesystem::create_directory("castle.txt");
  EXPECT_EQ(run_job("castle"),
            "Input file: castle.zmdl   \noutput file: castle.txt   \n"
            "Error opening output file :(\n");
  // A FIFO nobody reads would block the job forever; it fails at once instead.
  write_file("fifo.zmdl", model_);
  ASSERT_EQ(mkfifo("fifo.txt", 0600), 0);
  EXPECT_NE(run_job("fifo").find("Error opening output file :(\n"), std::string::npos);
}

}  // namespace
}  // namespace model_unpack
