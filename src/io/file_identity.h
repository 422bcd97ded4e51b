#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <optional>

namespace model_unpack {

// A file as the file system knows it, so links and other spellings of one file compare equal.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;

  friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

// `name` taken in the directory `directory` (AT_FDCWD: the current one).
inline std::optional<FileIdentity> identify_at(int directory, const char* name) {
  struct stat info {};
  if (fstatat(directory, name, &info, 0) != 0) return std::nullopt;
  return FileIdentity{info.st_dev, info.st_ino};
}

inline std::optional<FileIdentity> identify_descriptor(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return std::nullopt;
  return FileIdentity{info.st_dev, info.st_ino};
}

}  // namespace model_unpack
