#include "model/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace model_unpack {

namespace {

constexpr std::size_t kStreamBufferSize = 1 << 16;

// Opens without blocking (a FIFO could wait forever), then streams in blocking mode.
std::FILE* stream_of(int fd, const char* mode) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* stream = fdopen(fd, mode);
  if (stream == nullptr) {
    close(fd);
    return nullptr;
  }
  setvbuf(stream, nullptr, _IOFBF, kStreamBufferSize);
  return stream;
}

}  // namespace

std::FILE* open_model_file(const char* name) {
  const int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return nullptr;
  }
  return stream_of(fd, "rb");
}

std::FILE* create_output_file(const char* name) {
  const int created = open(name, O_RDWR | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0600);
  if (created >= 0) close(created);
  const int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  return stream_of(fd, "wb");
}

}  // namespace model_unpack
