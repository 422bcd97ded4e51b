// Files held in memory, for running whole jobs at fuzzing speed (the fuzz harnesses, the tests
// that run thousands of jobs): no system call per file.
// Folders are held as names: a file is known by its path, and a folder handle stands for the
// folder's path. Files created for writing keep only their size (a job never reads them back)
// unless asked to keep their bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/file_system.h"

namespace model_unpack {

class MemoryFileSystem final : public FileSystem {
 public:
  explicit MemoryFileSystem(bool keep_written = false) : keep_written_(keep_written) {}

  // Puts a file with `bytes` under the path `name`, replacing any.
  void put(const std::string& name, std::string bytes);
  // The bytes of a file put there; null when it is gone or was written over.
  const std::string* contents(const std::string& name) const;
  // The bytes written to a file, when they are kept; null otherwise.
  const std::string* written(const std::string& name) const;

  std::optional<FileIdentity> identify(Folder directory, const char* name) override;
  std::optional<FileIdentity> identify_entry(Folder directory, const char* name) override {
    return identify(directory, name);  // no links here
  }
  std::optional<std::string> resolve_folder(const std::string& path) override;
  std::optional<FileIdentity> identify_open(int handle) override;
  bool remove(Folder directory, const char* name) override;
  int open_for_reading(const char* name, std::uint64_t& size) override;
  int create(Folder directory, const char* name, mode_t mode) override;
  int create_temporary(Folder directory, const std::string& name, mode_t mode,
                       std::string& temporary) override;
  bool rename(Folder directory, const char* from, const char* to) override;
  Entry probe(Folder directory, const char* name) override;
  bool is_link(Folder, const char*) override { return false; }
  std::vector<std::string> make_folders(const std::string& path) override;
  void remove_folder(const std::string& path) override;
  Folder open_folder(const char* path) override;
  std::int64_t read_at(int handle, void* dest, std::size_t size, std::uint64_t offset) override;
  std::int64_t write(int handle, const void* data, std::size_t size) override;
  bool close(int handle) override;

 private:
  // A handle is the index of its file here; files are never dropped during a run, so a
  // handle stays valid after its name is removed or reused, as on a real file system.
  struct File {
    std::string name;
    bool linked = true;      // still reachable by name
    std::string bytes;       // files put there
    std::uint64_t size = 0;  // files written
    bool written = false;
  };
  const File* find(std::string_view name) const;
  File* find(std::string_view name) { return const_cast<File*>(std::as_const(*this).find(name)); }
  File& at(int handle) { return files_.at(static_cast<std::size_t>(handle)); }
  // The path of `name` taken in `directory`; nothing when the folder is not there.
  std::optional<std::string> path_in(Folder directory, std::string_view name) const;
  bool is_folder(const std::string& path) const;

  std::vector<File> files_;
  std::vector<std::string> folders_;  // a folder's handle is kFolderHandles + its index
  bool keep_written_;
};

}  // namespace model_unpack
