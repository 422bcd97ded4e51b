// What tells two names of one file apart from names of two files.
#pragma once

#include <compare>
#include <cstdint>

namespace model_unpack {

// A file as the file system knows it, so links and other spellings of one file compare equal:
// device and inode on Linux, volume serial number and file index on Windows.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;

  friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

}  // namespace model_unpack
