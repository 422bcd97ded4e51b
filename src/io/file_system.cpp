#include "io/file_system.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "io/physical_path.h"

namespace model_unpack {

namespace {

std::optional<FileIdentity> identity_of(const struct stat& info) {
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

// The handle the *at() calls take for `directory`.
int at(Folder directory) {
  return directory.is_current() ? AT_FDCWD : directory.handle();
}

// `name` taken in `directory`: a path from the current folder is resolved as the kernel would.
std::string in_folder(Folder directory, const char* name) {
  return directory == Folder::current() ? physical_name(name) : std::string(name);
}

// Opened without blocking (a FIFO could wait forever); used in blocking mode.
void make_blocking(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
}

class SystemFiles final : public FileSystem {
 public:
  std::optional<FileIdentity> identify(Folder directory, const char* name) override {
    struct stat info {};
    if (fstatat(at(directory), in_folder(directory, name).c_str(), &info, 0) != 0)
      return std::nullopt;
    return identity_of(info);
  }
  std::optional<FileIdentity> identify_entry(Folder directory, const char* name) override {
    struct stat info {};
    if (fstatat(at(directory), in_folder(directory, name).c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
      return std::nullopt;
    return identity_of(info);
  }
  std::optional<FileIdentity> identify_open(int handle) override {
    struct stat info {};
    if (fstat(handle, &info) != 0) return std::nullopt;
    return identity_of(info);
  }
  bool remove(Folder directory, const char* name) override {
    return unlinkat(at(directory), in_folder(directory, name).c_str(), 0) == 0;
  }

  int open_for_reading(const char* name, std::uint64_t& size) override {
    const int fd = ::open(physical_name(name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat info {};
    // A directory would open and then deliver nothing: a failure reported as success.
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      ::close(fd);
      return -1;
    }
    // Left non-blocking: a regular file that would make a read wait (/proc/kmsg) then fails
    // the read, which counts as the end of the file, instead of hanging the job.
    size = static_cast<std::uint64_t>(info.st_size);
    return fd;
  }

  int create(Folder directory, const char* name, mode_t mode) override {
    // Created or emptied and closed at once, then opened for writing, as the job does.
    constexpr int kFlags = O_CREAT | O_TRUNC | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC;
    const std::string path = in_folder(directory, name);
    const int created = openat(at(directory), path.c_str(), O_RDWR | kFlags, mode);
    if (created >= 0) ::close(created);
    const int fd = openat(at(directory), path.c_str(), O_WRONLY | kFlags, mode);
    if (fd >= 0) make_blocking(fd);
    return fd;
  }

  int create_temporary(Folder directory, const std::string& name, mode_t mode,
                       std::string& temporary) override {
    // Hidden beside the file it becomes: ".castle.glb.XXXXXX".
    const std::size_t slash = name.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    static std::atomic<unsigned> serial{0};
    static const auto process = static_cast<unsigned long>(getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
      const unsigned long tag =
          (process * 7919u + serial++) ^
          static_cast<unsigned long>(std::chrono::steady_clock::now().time_since_epoch().count());
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, ".%06lx", tag & 0xFFFFFF);
      temporary = name.substr(0, base) + "." + name.substr(base) + suffix;
      const int fd = openat(at(directory), in_folder(directory, temporary.c_str()).c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
      if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
  }

  bool rename(Folder directory, const char* from, const char* to) override {
    return renameat(at(directory), in_folder(directory, from).c_str(), at(directory),
                    in_folder(directory, to).c_str()) == 0;
  }

  std::vector<std::string> make_folders(const std::string& path) override {
    std::vector<std::string> made;
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
      std::string folder = path.substr(0, slash);
      if (mkdir(folder.c_str(), 0777) == 0) made.push_back(std::move(folder));
      if (slash == std::string::npos) break;
    }
    return made;
  }
  void remove_folder(const std::string& path) override { rmdir(path.c_str()); }

  std::optional<std::string> resolve_folder(const std::string& path) override {
#if defined(__wasi__)
    // No realpath here: resolved one component after another, as realpath does.
    struct stat info {};
    const auto resolved = resolve_physically(path);
    if (!resolved || stat(resolved->c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
      return std::nullopt;
    return resolved;
#else
    char real[PATH_MAX];
    if (realpath(path.c_str(), real) == nullptr) return std::nullopt;
    return std::string(real);
#endif
  }

  Folder open_folder(const char* path) override {
    const int fd =
        ::open(physical_name(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return fd < 0 ? Folder::none() : Folder::opened(fd);
  }

  Entry probe(Folder directory, const char* name) override {
    const std::string path = in_folder(directory, name);
    struct stat info {};
    if (fstatat(at(directory), path.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return Entry::None;
    if (S_ISDIR(info.st_mode)) return Entry::Folder;
    if (S_ISLNK(info.st_mode)) return Entry::Writable;
    if (!S_ISREG(info.st_mode)) return Entry::Device;
    // Opened for writing, not emptied, to ask the kernel rather than guess from the mode bits
    // (root writes a read-only file).
    const int fd =
        openat(at(directory), path.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return Entry::Unwritable;
    ::close(fd);
    return Entry::Writable;
  }

  bool is_link(Folder directory, const char* name) override {
    struct stat info {};
    return fstatat(at(directory), in_folder(directory, name).c_str(), &info, AT_SYMLINK_NOFOLLOW) ==
               0 &&
           S_ISLNK(info.st_mode);
  }

  std::int64_t read_at(int handle, void* dest, std::size_t size, std::uint64_t offset) override {
    ssize_t got = 0;
    do {
      got = pread(handle, dest, size, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return got < 0 ? -errno : got;
  }

  std::int64_t write(int handle, const void* data, std::size_t size) override {
    ssize_t written = 0;
    do {
      written = ::write(handle, data, size);
    } while (written < 0 && errno == EINTR);
    return written;
  }

  bool close(int handle) override {
    return ::close(handle) == 0 || errno == EINTR;
  }
};

}  // namespace

FileSystem& system_files() {
  static SystemFiles files;
  return files;
}

}  // namespace model_unpack
