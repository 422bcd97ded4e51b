#include "io/buffered_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace model_unpack {

namespace {

constexpr std::size_t kReadCapacity = 1 << 18;

// Opened without blocking (a FIFO could wait forever); used in blocking mode.
void make_blocking(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
}

}  // namespace

std::unique_ptr<ModelFile> ModelFile::open(const char* name) {
  const int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  make_blocking(fd);
  return std::unique_ptr<ModelFile>(new ModelFile(fd, static_cast<std::uint64_t>(info.st_size)));
}

ModelFile::ModelFile(int fd, std::uint64_t size)
    : fd_(fd), size_(size), buffer_(new unsigned char[kReadCapacity]) {}

ModelFile::~ModelFile() {
  ::close(fd_);
}

void ModelFile::seek(std::uint64_t offset) {
  at_end_ = false;
  if (offset >= buffer_offset_ && offset - buffer_offset_ <= end_) {
    position_ = static_cast<std::size_t>(offset - buffer_offset_);
    return;
  }
  buffer_offset_ = offset;
  position_ = end_ = 0;
}

std::size_t ModelFile::read_slow(void* dest, std::size_t size) {
  auto* out = static_cast<unsigned char*>(dest);
  std::size_t delivered = 0;
  while (delivered < size && !at_end_) {
    if (position_ == end_) {
      buffer_offset_ += end_;
      position_ = end_ = 0;
      ssize_t got = 0;
      do {
        got = pread(fd_, buffer_.get(), kReadCapacity, static_cast<off_t>(buffer_offset_));
      } while (got < 0 && errno == EINTR);
      if (got <= 0) {
        at_end_ = true;  // an unreadable rest counts as the end, as for any stream
        break;
      }
      end_ = static_cast<std::size_t>(got);
    }
    const std::size_t piece = std::min(size - delivered, end_ - position_);
    std::memcpy(out + delivered, buffer_.get() + position_, piece);
    position_ += piece;
    delivered += piece;
  }
  return delivered;
}

std::unique_ptr<OutputFile> OutputFile::create(const char* name, int directory, mode_t mode) {
  const int created =
      openat(directory, name, O_RDWR | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, mode);
  if (created >= 0) ::close(created);
  const int fd =
      openat(directory, name, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, mode);
  if (fd < 0) return nullptr;
  make_blocking(fd);
  return std::unique_ptr<OutputFile>(new OutputFile(fd));
}

OutputFile::OutputFile(int fd) : fd_(fd), buffer_(new unsigned char[kCapacity]) {}

OutputFile::~OutputFile() {
  if (fd_ >= 0) close();
}

bool OutputFile::close() {
  flush();
  if (::close(fd_) != 0 && errno != EINTR) failed_ = true;
  fd_ = -1;
  return !failed_;
}

void OutputFile::flush() {
  std::size_t done = 0;
  while (done < used_) {
    const ssize_t written = ::write(fd_, buffer_.get() + done, used_ - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {  // a full disk, a size limit, an I/O error: the rest is lost
      failed_ = true;
      break;
    }
    done += static_cast<std::size_t>(written);
  }
  used_ = 0;
}

void OutputFile::write_slow(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    if (used_ == kCapacity) flush();
    const std::size_t piece = std::min(size, kCapacity - used_);
    std::memcpy(buffer_.get() + used_, bytes, piece);
    used_ += piece;
    bytes += piece;
    size -= piece;
  }
}

}  // namespace model_unpack
