// The sample cut at every length, each a whole job on files held in memory (every other one
// exporting into a folder), and for a few lengths the same job on the real file system: the
// same lines, the same files, byte for byte.
#include <gtest/gtest.h>

#include <map>

#include "io/memory_file_system.h"
#include "job/console_report.h"
#include "job/conversion_job.h"
#include "model/block_kinds.h"
#include "test_support.h"

namespace model_unpack {
namespace {

struct Outcome {
  std::string lines;
  std::map<std::string, std::string> files;  // the info file and the export files
};

// With `exports_folder`, the export files go there, as with the batch tool's -C.
Outcome in_memory(const std::string& model, const std::string& exports_folder) {
  MemoryFileSystem files(true);
  files.put("s.zmdl", model);
  Folder exports = Folder::current();
  if (!exports_folder.empty()) {
    files.make_folders(exports_folder);
    exports = files.open_folder(exports_folder.c_str());
  }
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  ConsoleReport said(ConsoleOutput{out, false});
  run_conversion_job(derive_typed_names("s"), JobSettings{said, exports, files});
  std::fclose(out);
  Outcome outcome{std::string(text, size), {}};
  std::free(text);
  EXPECT_EQ(*files.contents("s.zmdl"), model) << "the model file is never written";
  for (const char* name : kExportFileDeletionOrder) {
    const std::string path = exports_folder.empty() ? name : exports_folder + "/" + name;
    if (const std::string* bytes = files.written(path)) outcome.files[name] = *bytes;
  }
  if (const std::string* info = files.written("s.txt")) outcome.files["s.txt"] = *info;
  return outcome;
}

Outcome on_disk(const std::string& model) {
  testing::ScratchDirectory directory;
  testing::write_file("s.zmdl", model);
  Outcome outcome{testing::run_job("s"), {}};
  for (const char* name : kExportFileDeletionOrder) {
    if (testing::exists(name)) outcome.files[name] = testing::read_file(name);
  }
  outcome.files["s.txt"] = testing::read_file("s.txt");
  return outcome;
}

TEST(Sweep, TheSampleCutAtEveryLengthRunsInMemoryAsOnDisk) {
  const std::string sample = testing::read_file(MODEL_UNPACK_EXAMPLES_DIR "/sample.zmdl");
  for (std::size_t length = 0; length <= sample.size(); ++length) {
    const std::string model = sample.substr(0, length);
    const Outcome memory = in_memory(model, length % 2 == 0 ? "" : "ex/s");
    ASSERT_TRUE(memory.lines.ends_with("Info file created\n")) << length << "\n" << memory.lines;
    ASSERT_TRUE(memory.files.at("s.txt").ends_with("---End of file---")) << length;
    for (const auto& [name, bytes] : memory.files) {
      // A damaged file never makes the job write much more than the file holds.
      ASSERT_LE(bytes.size(), 60 * length + 4096) << name << " at " << length;
    }
    if (length % 351 == 0 || length == 28 || length == sample.size()) {
      const Outcome disk = on_disk(model);
      EXPECT_EQ(memory.lines, disk.lines) << length;
      EXPECT_EQ(memory.files, disk.files) << length;
    }
  }
}

// What the job and the batch's guard ask of a file system, answered alike in memory and on disk.
TEST(MemoryFileSystem, AnswersAsTheDiskDoesForFoldersAndWrittenFiles) {
  testing::ScratchDirectory scratch;
  MemoryFileSystem memory(true);
  for (FileSystem* files : {static_cast<FileSystem*>(&memory), &system_files()}) {
    EXPECT_EQ(files->make_folders("a/b"), (std::vector<std::string>{"a", "a/b"}));
    EXPECT_TRUE(files->make_folders("a/b").empty());
    const Folder folder = files->open_folder("a/b");
    ASSERT_TRUE(folder.is_open());
    EXPECT_EQ(files->identify_open(folder.handle()), files->identify(Folder::current(), "a/b"));
    const int out = files->create(folder, "f", kNewFileMode);
    ASSERT_EQ(files->write(out, "abc", 3), 3);
    EXPECT_TRUE(files->close(out));
    std::uint64_t size = 0;
    const int in = files->open_for_reading("a/b/f", size);
    char back[4] = {};
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(files->read_at(in, back, 4, 0), 3);
    EXPECT_STREQ(back, "abc");
    EXPECT_TRUE(files->close(in));
    files->remove_folder("a");  // not empty: stays
    EXPECT_TRUE(files->identify(Folder::current(), "a/b/f"));
    EXPECT_TRUE(files->remove(folder, "f"));
    EXPECT_FALSE(files->remove(folder, "f"));
    EXPECT_TRUE(files->close(folder.handle()));
    files->remove_folder("a/b");
    files->remove_folder("a");
    EXPECT_FALSE(files->identify(Folder::current(), "a"));
  }
}

}  // namespace
}  // namespace model_unpack
