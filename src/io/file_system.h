// The file operations a job makes, behind one small interface: the real file system, or files
// held in memory (the fuzz harness runs whole jobs that way). Names are taken in a Folder.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "io/file_identity.h"

namespace model_unpack {

// A folder that names are taken in: the current folder, a folder opened by open_folder(), or
// none (a folder that could not be opened: nothing is found in it, nothing made).
class Folder {
 public:
  static constexpr Folder current() { return Folder(kCurrent); }
  static constexpr Folder none() { return Folder(-1); }
  static constexpr Folder opened(int handle) { return Folder(handle); }

  constexpr bool is_current() const { return handle_ == kCurrent; }
  constexpr bool is_open() const { return handle_ >= 0; }
  // The open folder's handle (for is_open() folders).
  constexpr int handle() const { return handle_; }
  friend constexpr bool operator==(Folder, Folder) = default;

 private:
  static constexpr int kCurrent = -100;
  constexpr explicit Folder(int handle) : handle_(handle) {}
  int handle_;
};

// Every output is made as any new file is: readable and writable by all, less the umask.
inline constexpr mode_t kNewFileMode = 0666;

// What stands under a name, as far as writing a file there goes.
enum class Entry {
  None,        // nothing: a file can be made
  Folder,      // a folder, never written over nor removed as a file
  Writable,    // a file (or a link) that may be written over or removed
  Unwritable,  // a file that may be removed but not written (read-only)
  Device,      // a device, FIFO or socket: written in place, if at all, never replaced
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The file `name` names, through a symbolic link.
  [[nodiscard]] virtual std::optional<FileIdentity> identify(Folder directory,
                                                             const char* name) = 0;
  // The entry `name` itself: a symbolic link is not followed.
  [[nodiscard]] virtual std::optional<FileIdentity> identify_entry(Folder directory,
                                                                   const char* name) = 0;
  [[nodiscard]] virtual std::optional<FileIdentity> identify_open(int handle) = 0;
  // True when it was removed (a job may ignore that: an absent file stays absent).
  [[nodiscard]] virtual bool remove(Folder directory, const char* name) = 0;
  // A regular file opened for reading, and its size then; -1 when it cannot be. Neither the
  // open nor a read ever waits (a FIFO, /proc/kmsg): a read that would wait fails.
  [[nodiscard]] virtual int open_for_reading(const char* name, std::uint64_t& size) = 0;
  // Created, or emptied when it exists, and opened for writing; -1 on failure. A symbolic
  // link under `name` is never followed: the open fails.
  [[nodiscard]] virtual int create(Folder directory, const char* name, mode_t mode) = 0;
  // A new file in the folder of `name`, under a name of its own (given back in `temporary`),
  // opened for writing, so that a file can be written whole before it takes its name; -1 on
  // failure.
  [[nodiscard]] virtual int create_temporary(Folder directory, const std::string& name, mode_t mode,
                                             std::string& temporary) = 0;
  // Gives the file `from` the name `to`, replacing what was there (a link is replaced, not
  // followed); false on failure.
  [[nodiscard]] virtual bool rename(Folder directory, const char* from, const char* to) = 0;
  // What stands under `name` (a link is not followed), without changing it.
  [[nodiscard]] virtual Entry probe(Folder directory, const char* name) = 0;
  // Whether `name` itself is a symbolic link.
  [[nodiscard]] virtual bool is_link(Folder directory, const char* name) = 0;
  // Makes each missing folder of `path` (mode 0777 less the umask) and gives back those it
  // made, outermost first; failures show when the folder is opened.
  virtual std::vector<std::string> make_folders(const std::string& path) = 0;
  // Removes the folder `path` if it is empty.
  virtual void remove_folder(const std::string& path) = 0;
  // The absolute spelling of the folder `path`, its links and "." and ".." resolved; nothing
  // when it does not exist.
  [[nodiscard]] virtual std::optional<std::string> resolve_folder(const std::string& path) = 0;
  // A folder opened for the names in it, never through a symbolic link in its last component;
  // Folder::none() when it cannot be. Closed with close(folder.handle()).
  [[nodiscard]] virtual Folder open_folder(const char* path) = 0;
  // Bytes read at `offset`, 0 at the end; on an error, minus its error number (-EAGAIN for a
  // read that would wait).
  [[nodiscard]] virtual std::int64_t read_at(int handle, void* dest, std::size_t size,
                                             std::uint64_t offset) = 0;
  // Bytes written, at least 1, or 0 or less on a failure.
  [[nodiscard]] virtual std::int64_t write(int handle, const void* data, std::size_t size) = 0;
  // False when the close reported an error (for a written file: its bytes may be lost).
  [[nodiscard]] virtual bool close(int handle) = 0;
};

// The system's file system. It holds no state.
FileSystem& system_files();

}  // namespace model_unpack
