// The model file reader and the output writer keep the stream rules the job relies on.
#include "io/buffered_file.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace model_unpack {
namespace {

std::string pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  return bytes;
}

TEST(ModelFile, ReadsAcrossItsBufferAndSeeksAnywhere) {
  const std::string bytes = pattern(1 << 20);
  auto model = testing::model_file_of(bytes);
  std::string got(bytes.size(), '\0');
  std::size_t done = 0;
  for (std::size_t piece = 1; done < bytes.size(); piece = piece % 97 + 1) {
    done += model->read(got.data() + done, std::min(piece, bytes.size() - done));
  }
  EXPECT_EQ(got, bytes);

  for (std::uint64_t offset : {0ull, 262143ull, 262144ull, 5ull, 1048572ull, 700000ull}) {
    model->seek(offset);
    char four[4] = {};
    ASSERT_EQ(model->read(four, 4), std::min<std::uint64_t>(4, bytes.size() - offset));
    EXPECT_EQ(std::string(four, 4), bytes.substr(offset, 4)) << offset;
  }
}

TEST(ModelFile, ShortReadsDeliverTheRestAndLeaveTheDestinationAlone) {
  auto model = testing::model_file_of("abcdef");
  model->seek(4);
  char buffer[4] = {'w', 'x', 'y', 'z'};
  EXPECT_EQ(model->read(buffer, 4), 2u);
  EXPECT_EQ(std::string(buffer, 4), "efyz");
  EXPECT_EQ(model->read(buffer, 4), 0u);
  model->seek(0xFFFFFFFFull);
  EXPECT_EQ(model->read(buffer, 4), 0u);
  EXPECT_EQ(std::string(buffer, 4), "efyz");
  model->seek(1);
  EXPECT_EQ(model->read(buffer, 2), 2u) << "a seek ends the end";
  EXPECT_EQ(std::string(buffer, 2), "bc");
}

TEST(ModelFile, OpensOnlyRegularFiles) {
  testing::ScratchDirectory directory;
  EXPECT_EQ(ModelFile::open("absent", system_files()), nullptr);
  EXPECT_EQ(ModelFile::open(".", system_files()), nullptr);
  EXPECT_EQ(ModelFile::open("/dev/null", system_files()), nullptr);
}

TEST(OutputFile, WritesEverythingInOrderWithMode0600) {
  testing::ScratchDirectory directory;
  const std::string bytes = pattern(6 << 18);
  {
    auto out = OutputFile::create("out", Folder::current(), 0600, system_files());
    std::size_t done = 0;
    // Small pieces through the buffer, and pieces of a whole buffer or more straight out
    // between them.
    for (std::size_t piece = 1, i = 0; done < bytes.size(); piece = piece * 3 % 70001 + 1, ++i) {
      const std::size_t wanted = i % 9 == 8 ? kFileBufferSize + piece % 2 : piece;
      const std::size_t size = std::min(wanted, bytes.size() - done);
      out->write(bytes.data() + done, size);
      done += size;
      ASSERT_EQ(out->written(), done);
    }
  }
  EXPECT_EQ(testing::read_file("out"), bytes);
  struct stat info {};
  ASSERT_EQ(stat("out", &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace model_unpack
