// The info file, byte for byte.
#include "report/info_writer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "job/console_report.h"
#include "job/conversion_job.h"
#include "job/file_names.h"
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
using testing::u16s;

// Joins lines with CR LF; "" entries make empty lines.
std::string crlf(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

class InfoFileTest : public ::testing::Test {
 protected:
  // Runs a job on the model saved as m.zmdl and returns its info file m.txt.
  std::string info_of(const ModelBuilder& model) {
    model.write("m.zmdl");
    printed_ = testing::run_job("m");
    return read_file("m.txt");
  }

  // The info file's text for the blocks, between the header line and the end line.
  std::string blocks_of(const ModelBuilder& model) {
    const std::string info = info_of(model);
    const std::size_t begin = info.find("\r\n\r\n", info.find("Header of file \"")) + 4;
    const std::size_t end = info.rfind("\r\n---End of file---");
    return info.substr(begin, end - begin);
  }

  // The listing of a block laid out by block(); its offset comes from the builder.
  static std::string listing(const ModelBuilder& model, int slot, std::string_view name,
                             std::string_view size) {
    char number[8];
    char offset[16];
    std::snprintf(number, sizeof number, "%2d", slot);
    std::snprintf(offset, sizeof offset, "0x%X",
                  model.payload_offset(static_cast<std::size_t>(slot)));
    return crlf({"-------------------", "--Block number " + std::string(number) + "--",
                 "-------------------", "Name of block: " + std::string(name),
                 "Adress of block: " + std::string(offset), "Size of block: " + std::string(size),
                 ""});
  }

  testing::ScratchDirectory directory_;
  std::string printed_;
};

TEST_F(InfoFileTest, WorkedExampleComesOutByteForByte) {
  ModelBuilder model;
  model.header("castle header")
      .block("positions", floats3({1.0f, -2.5f, 0.0f}))
      .block("materials", materials({"stone"}))
      .block("collisebodies", Payload().u32(0));
  ASSERT_EQ(model.payload_offset(0), 0x12Cu);
  ASSERT_EQ(model.payload_offset(1), 0x13Cu);
  ASSERT_EQ(model.payload_offset(2), 0x180u);
  model.write("castle.zmdl");
  const std::string printed = testing::run_job("castle");

  const std::string header = "castle header" + std::string(15, '\0');
  const std::string expected = crlf({"Info file castle.txt",
                                     "Created from castle.zmdl",
                                     "",
                                     "Header of file \"castle.zmdl\": " + header,
                                     "",
                                     "-------------------",
                                     "--Block number  0--",
                                     "-------------------",
                                     "Name of block: positions",
                                     "Adress of block: 0x12C",
                                     "Size of block: 1",
                                     "",
                                     "    0: +1.000000e+000  -2.500000e+000  +0.000000e+000  ",
                                     "",
                                     "-------------------",
                                     "--Block number  1--",
                                     "-------------------",
                                     "Name of block: materials",
                                     "Adress of block: 0x13C",
                                     "Size of block: 1",
                                     "",
                                     "Material # 0: stone.zmtr",
                                     "",
                                     "-------------------",
                                     "--Block number  2--",
                                     "-------------------",
                                     "Name of block: collisebodies",
                                     "Adress of block: 0x180",
                                     "Size of block: 0",
                                     "",
                                     ""}) +
                               "---End of file---";
  EXPECT_EQ(read_file("castle.txt"), expected);
  EXPECT_TRUE(printed.ends_with("Creating info file\nInfo file created\n"));
}

TEST_F(InfoFileTest, EmptyDirectoryHasOnlyTheHeadAndTheEndLine) {
  const std::string info = info_of(ModelBuilder().header("h"));
  EXPECT_EQ(info, crlf({"Info file m.txt", "Created from m.zmdl", "",
                        "Header of file \"m.zmdl\": h" + std::string(27, '\0'), "", ""}) +
                      "---End of file---");
}

TEST_F(InfoFileTest, CountZeroBlocksKeepTheirLineBreaks) {
  ModelBuilder model;
  model.block("positions", Payload().u32(0))
      .block("material_tris", Payload().u32(0))
      .block("bonelinks", Payload().u32(0));
  EXPECT_EQ(blocks_of(model), listing(model, 0, "positions", "0") + "\r\n" +
                                  listing(model, 1, "material_tris", "0") +
                                  crlf({"Polygon number: type of material", "", ""}) +
                                  listing(model, 2, "bonelinks", "0") + "\r\n\r\n\r\n");
}

TEST_F(InfoFileTest, ElementLinesOfEveryRenderedKind) {
  ModelBuilder model;
  model.block("vertexes", u16s(6, {1, 2, 3, 4, 5, 65535}))
      .block("vertex_tris", u16s(3, {7, 8, 9}))
      .block("position_tris", u16s(3, {10, 11, 12}))
      .block("material_tris", u16s(1, {5, 12}))
      .block("edges", edges(7, {1, 2, 3, 4, 5, 6}))
      .block("bonelinks", u16s(1, {3}))
      .block("normals", floats3({0.5f, -0.25f, 1e-3f}));
  const std::string expected =
      listing(model, 0, "vertexes", "1") +
      crlf({"    0:     1      2      3      4      5  65535  ", ""}) +
      listing(model, 1, "vertex_tris", "1") + crlf({"    0:     7      8      9  ", ""}) +
      listing(model, 2, "position_tris", "1") + crlf({"    0:    10    11    12 ", ""}) +
      listing(model, 3, "material_tris", "2") +
      crlf({"Polygon number: type of material", "", "    0:    5", "    1:   12", ""}) +
      listing(model, 4, "edges", "2") +
      crlf({"    0:     1     2     3 ", "    1:     4     5     6 ", ""}) +
      listing(model, 5, "bonelinks", "1") + crlf({"", "", "    0:    3", ""}) +
      listing(model, 6, "normals", "1") +
      crlf({"    0: +5.000000e-001  -2.500000e-001  +1.000000e-003  ", ""});
  EXPECT_EQ(blocks_of(model), expected);
}

TEST_F(InfoFileTest, UnrenderedAndUnknownNames) {
  ModelBuilder model;
  model.block("texcoords", Payload().u32(2))
      .block("collisebodies", Payload().u32(1))
      .block("%d%s%n", Payload().u32(3))
      .block("bbox_data", Payload().u32(0));
  EXPECT_EQ(blocks_of(model),
            listing(model, 0, "texcoords", "2") + crlf({"Don't know what to save", ""}) +
                listing(model, 1, "collisebodies", "1") + listing(model, 2, "%d%s%n", "3") +
                listing(model, 3, "bbox_data", "0") + crlf({"Don't know what to save", ""}));
}

TEST_F(InfoFileTest, MaterialNamesStopAtTheirNulOrFillAll64Bytes) {
  const std::string full(64, 'm');
  ModelBuilder model;
  model.block("materials", materials({"a", "b", "c", full}));
  EXPECT_EQ(blocks_of(model),
            listing(model, 0, "materials", "4") +
                crlf({"Material # 0: a.zmtr", "Material # 1: b.zmtr", "Material # 2: c.zmtr",
                      "Material # 3: " + full + ".zmtr", ""}));
}

TEST_F(InfoFileTest, DuplicateEdgesShowTheirOwnSizes) {
  // The export phase leaves the first edges record holding its second count word.
  ModelBuilder model;
  model.block("edges", edges(7, {1, 2, 3, 4, 5, 6})).block("edges", edges(9, {7, 8, 9}));
  EXPECT_EQ(blocks_of(model),
            listing(model, 0, "edges", "2") +
                crlf({"    0:     1     2     3 ", "    1:     4     5     6 ", ""}) +
                listing(model, 1, "edges", "9") + crlf({"    0:     7     8     9 ", ""}));
}

TEST_F(InfoFileTest, ElementsPastTheEndRepeatTheLastValueRead) {
  ModelBuilder model;
  model.block("positions", Payload().u32(5).f32(1).f32(2).f32(3).f32(4).f32(5).f32(6));
  const std::string blocks = blocks_of(model);
  const std::string repeated = "+6.000000e+000  +6.000000e+000  +6.000000e+000  ";
  EXPECT_EQ(blocks,
            listing(model, 0, "positions", "5") +
                crlf({"    0: +1.000000e+000  +2.000000e+000  +3.000000e+000  ",
                      "    1: +4.000000e+000  +5.000000e+000  +6.000000e+000  ",
                      "    2: " + repeated, "    3: " + repeated, "    4: " + repeated, ""}));
}

TEST_F(InfoFileTest, LargeBlocksComeOutAsIfReadValueByValue) {
  // Large enough to be formatted on two cores, in chunks; the normals, past the end of the
  // file, repeat the last float read.
  constexpr std::uint32_t kCount = 40000;
  Payload positions;
  positions.u32(kCount);
  for (std::uint32_t i = 0; i < kCount; ++i) {
    positions.f32(static_cast<float>(i)).f32(-0.5f * static_cast<float>(i)).f32(0.25f);
  }
  Payload triangles;
  triangles.u32(kCount);
  for (std::uint32_t i = 0; i < kCount; ++i) triangles.u16(i % 7).u16(i % 65536).u16(9);
  const ModelBuilder model = ModelBuilder()
                                 .block("positions", positions)
                                 .block("position_tris", triangles)
                                 .block("normals", Payload().u32(1));
  const std::string info = info_of(model);
  for (const std::string_view line :
       {"    0: +0.000000e+000  +0.000000e+000  +2.500000e-001  \r\n",
        " 8191: +8.191000e+003  -4.095500e+003  +2.500000e-001  \r\n",
        " 8192: +8.192000e+003  -4.096000e+003  +2.500000e-001  \r\n",
        "39999: +3.999900e+004  -1.999950e+004  +2.500000e-001  \r\n\r\n",
        "    0:     0     0     9 \r\n", " 8192:     2  8192     9 \r\n",
        "39999:     1 39999     9 \r\n\r\n",
        "Size of block: 1\r\n\r\n    0: +2.500000e-001  +2.500000e-001  +2.500000e-001  \r\n"}) {
    EXPECT_NE(info.find(line), std::string::npos) << line;
  }
  // Every element line once: 2 x 40000 + 1, and 30 lines of head, listings and block ends.
  EXPECT_EQ(std::count(info.begin(), info.end(), '\n'), 2 * kCount + 1 + 30);
}

TEST_F(InfoFileTest, NegativeZeroAndTiesAndNonFinite) {
  ModelBuilder model;
  model.block("tangents", Payload().u32(1).f32(-0.0f).f32(1000.0625f).f32_bits(0xFFC00000));
  EXPECT_EQ(blocks_of(model),
            listing(model, 0, "tangents", "1") +
                crlf({"    0: +0.000000e+000  +1.000063e+003  -1.#IND00e+000  ", ""}));
}

Payload bone(std::string_view first, std::string_view second, std::string_view data,
             std::string_view extra) {
  Payload payload;
  payload.name(first).name(second).name(data);
  return payload.u32(static_cast<std::uint32_t>(extra.size())).raw(extra);
}

TEST_F(InfoFileTest, BonesTakeFiveLinesWithRawDataAndExtraData) {
  const std::string data = "line\r\nbreak" + std::string(53, 'd');
  std::string long_extra;
  for (int i = 0; i < 150; ++i) long_extra.push_back(static_cast<char>('a' + i % 26));
  ModelBuilder model;
  model.block("bones", Payload()
                           .u32(3)
                           .raw(bone("root", "spine", data, "").bytes())
                           .raw(bone("spine", "head", "", "extra").bytes())
                           .raw(bone("head", "tip", "", long_extra).bytes()));
  const std::string blocks = blocks_of(model);
  EXPECT_EQ(blocks, listing(model, 0, "bones", "3") +
                        crlf({"Bone #1: root", "Bone #2: spine", "Data: " + data, "Other: ", "",
                              "Bone #1: spine", "Bone #2: head", "Data: " + std::string(64, '\0'),
                              "Other: extra", "", "Bone #1: head", "Bone #2: tip",
                              "Data: " + std::string(64, '\0'), "Other: " + long_extra, "", ""}));
}

TEST_F(InfoFileTest, EndsWithTheEndLineAndNoLineBreak) {
  const std::string info = info_of(ModelBuilder().block("positions", floats3({1, 2, 3})));
  EXPECT_TRUE(info.ends_with("\r\n---End of file---"));
}

TEST(LineBreaks, AreCrLfPairs) {
  testing::ScratchDirectory directory;
  {
    auto out = OutputFile::create("breaks", Folder::current(), 0600, system_files());
    write_line_breaks(0, *out);
    write_line_breaks(2, *out);
  }
  EXPECT_EQ(read_file("breaks"), "\r\n\r\n");
}

// The real file system, except that the model file is cut to `keep` bytes as soon as it has
// been opened: the job goes on with the size it saw. With `failing`, the bytes past `keep`
// are not cut but cannot be read (an I/O error).
class CutAfterOpening final : public FileSystem {
 public:
  explicit CutAfterOpening(off_t keep, bool failing = false) : keep_(keep), failing_(failing) {}
  int open_for_reading(const char* name, std::uint64_t& size) override {
    const int handle = base_.open_for_reading(name, size);
    if (handle >= 0 && std::string_view(name) == "m.zmdl" && !failing_) {
      EXPECT_EQ(::truncate(name, keep_), 0);
    }
    return handle;
  }
  std::optional<FileIdentity> identify(Folder d, const char* n) override {
    return base_.identify(d, n);
  }
  std::optional<FileIdentity> identify_entry(Folder d, const char* n) override {
    return base_.identify_entry(d, n);
  }
  std::optional<FileIdentity> identify_open(int h) override { return base_.identify_open(h); }
  bool remove(Folder d, const char* n) override { return base_.remove(d, n); }
  int create(Folder d, const char* n, mode_t m) override { return base_.create(d, n, m); }
  int create_temporary(Folder d, const std::string& n, mode_t m, std::string& t) override {
    return base_.create_temporary(d, n, m, t);
  }
  bool rename(Folder d, const char* f, const char* t) override { return base_.rename(d, f, t); }
  bool is_link(Folder d, const char* n) override { return base_.is_link(d, n); }
  Entry probe(Folder d, const char* n) override { return base_.probe(d, n); }
  std::vector<std::string> make_folders(const std::string& p) override {
    return base_.make_folders(p);
  }
  void remove_folder(const std::string& p) override { base_.remove_folder(p); }
  std::optional<std::string> resolve_folder(const std::string& p) override {
    return base_.resolve_folder(p);
  }
  Folder open_folder(const char* p) override { return base_.open_folder(p); }
  std::int64_t read_at(int h, void* d, std::size_t s, std::uint64_t o) override {
    if (failing_ && o + s > static_cast<std::uint64_t>(keep_)) return -EIO;
    return base_.read_at(h, d, s, o);
  }
  std::int64_t write(int h, const void* d, std::size_t s) override { return base_.write(h, d, s); }
  bool close(int h) override { return base_.close(h); }

 private:
  FileSystem& base_ = system_files();
  off_t keep_;
  bool failing_;
};

TEST_F(InfoFileTest, ALargeBlockCutShortRepeatsItsLastValueAndAFailedReadIsAnError) {
  // 40000 positions, each (i, i, i); the file is cut after 20000 of them once it is open.
  Payload positions;
  positions.u32(40000);
  for (int i = 0; i < 40000; ++i) positions.f32(i).f32(i).f32(i);
  const ModelBuilder model = ModelBuilder().block("positions", positions);
  model.write("m.zmdl");
  CutAfterOpening files(model.payload_offset(0) + 4 + 20000 * 12);
  std::FILE* quiet = std::fopen("/dev/null", "w");
  ConsoleReport said(ConsoleOutput{quiet, false});
  run_conversion_job(derive_typed_names("m"), JobSettings{said, Folder::current(), files});
  std::fclose(quiet);
  const std::string info = read_file("m.txt");
  const std::string last_read = "+1.999900e+004  +1.999900e+004  +1.999900e+004  \r\n";
  EXPECT_NE(info.find("19999: " + last_read), std::string::npos);
  EXPECT_NE(info.find("39999: " + last_read), std::string::npos);

  // A read that fails is not the end of the model: the job says so.
  model.write("m.zmdl");
  CutAfterOpening failing(model.payload_offset(0) + 4 + 20000 * 12, true);
  char* lines = nullptr;
  std::size_t size = 0;
  std::FILE* console = open_memstream(&lines, &size);
  ConsoleReport told(ConsoleOutput{console, false});
  run_conversion_job(derive_typed_names("m"), JobSettings{told, Folder::current(), failing});
  std::fclose(console);
  EXPECT_TRUE(std::string(lines, size)
                  .ends_with("Info file created\nError reading input file m.zmdl: Input/output "
                             "error :(\n"))
      << lines;
  std::free(lines);
}

}  // namespace
}  // namespace model_unpack
