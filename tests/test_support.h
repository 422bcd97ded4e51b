// Shared helpers: a private working directory per test, and running one job on built bytes.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "console/typed_name.h"
#include "io/buffered_file.h"
#include "job/conversion_job.h"

namespace model_unpack::testing {

// Makes a fresh directory the working directory for the life of the object.
class ScratchDirectory {
 public:
  ScratchDirectory() : previous_(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "model-unpack-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
    std::filesystem::current_path(path_);
  }
  ~ScratchDirectory() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool exists(const std::filesystem::path& path) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

// A device node like /dev/full under `path`, where every write fails for want of room (a
// symbolic link there would be replaced by the tool). False when nodes cannot be made here.
inline bool make_full_device(const char* path) {
  struct stat full {};
  return stat("/dev/full", &full) == 0 && mknod(path, S_IFCHR | 0666, full.st_rdev) == 0;
}

// A model file holding `bytes`, opened for reading; the file itself is already unlinked.
inline std::unique_ptr<ModelFile> model_file_of(const std::string& bytes) {
  std::string path = (std::filesystem::temp_directory_path() / "model-XXXXXX").string();
  const int fd = mkstemp(path.data());
  if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    std::abort();
  }
  close(fd);
  auto model = ModelFile::open(path.c_str(), system_files());
  unlink(path.c_str());
  return model;
}

// Runs one job on `typed_name` and returns what it printed on the console.
inline std::string run_job(const std::string& typed_name, bool console_is_terminal = false) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  NameBuffer name{};
  typed_name.copy(name.data(), name.size() - 1);
  process_model_file(name, ConsoleOutput{out, console_is_terminal});
  std::fclose(out);
  std::string printed(text, size);
  std::free(text);
  return printed;
}

}  // namespace model_unpack::testing
