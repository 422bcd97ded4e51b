#include "io/buffered_file.h"

#include <algorithm>
#include <cerrno>

namespace model_unpack {

std::unique_ptr<ModelFile> ModelFile::open(const char* name, FileSystem& files) {
  std::uint64_t size = 0;
  const int handle = files.open_for_reading(name, size);
  if (handle < 0) return nullptr;
  return std::unique_ptr<ModelFile>(new ModelFile(files, handle, size, nullptr));
}

std::unique_ptr<ModelFile> ModelFile::another_reader() const {
  return std::unique_ptr<ModelFile>(new ModelFile(files_, handle_, size_, read_failure_));
}

ModelFile::ModelFile(FileSystem& files, int handle, std::uint64_t size,
                     std::atomic<int>* read_failure)
    : files_(files),
      handle_(handle),
      read_failure_(read_failure == nullptr ? &own_read_failure_ : read_failure),
      size_(size),
      // A small model needs no more buffer than itself.
      capacity_(static_cast<std::size_t>(std::clamp<std::uint64_t>(size, 4096, kFileBufferSize))),
      buffer_(new unsigned char[capacity_]) {}

ModelFile::~ModelFile() {
  // Only the first reader owns the handle; a failed close of a file read loses nothing.
  if (read_failure_ == &own_read_failure_) static_cast<void>(files_.close(handle_));
}

std::size_t ModelFile::read_some(void* dest, std::size_t size, std::uint64_t offset) const {
  const std::int64_t got = files_.read_at(handle_, dest, size, offset);
  if (got >= 0) return static_cast<std::size_t>(got);
  const int error = static_cast<int>(-got);
  if (error != EAGAIN && error != EWOULDBLOCK) {
    int none = 0;
    read_failure_->compare_exchange_strong(none, error, std::memory_order_relaxed);
  }
  return 0;
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

std::size_t ModelFile::read_at(std::uint64_t offset, void* dest, std::size_t size) const {
  auto* out = static_cast<unsigned char*>(dest);
  std::size_t delivered = 0;
  while (delivered < size) {
    const std::size_t got = read_some(out + delivered, size - delivered, offset + delivered);
    if (got == 0) break;
    delivered += got;
  }
  return delivered;
}

std::size_t ModelFile::read_slow(void* dest, std::size_t size) {
  auto* out = static_cast<unsigned char*>(dest);
  std::size_t delivered = 0;
  while (delivered < size && !at_end_) {
    if (position_ == end_) {
      buffer_offset_ += end_;
      position_ = end_ = 0;
      const std::size_t got = read_some(buffer_.get(), capacity_, buffer_offset_);
      if (got == 0) {
        at_end_ = true;  // what cannot be read ends the file; a failure is remembered
        break;
      }
      end_ = got;
    }
    const std::size_t piece = std::min(size - delivered, end_ - position_);
    std::memcpy(out + delivered, buffer_.get() + position_, piece);
    position_ += piece;
    delivered += piece;
  }
  return delivered;
}

std::unique_ptr<OutputFile> OutputFile::create(const char* name, Folder directory, mode_t mode,
                                               FileSystem& files) {
  const int handle = files.create(directory, name, mode);
  if (handle < 0) return nullptr;
  return adopt(handle, files);
}

std::unique_ptr<OutputFile> OutputFile::adopt(int handle, FileSystem& files) {
  return std::unique_ptr<OutputFile>(new OutputFile(files, handle));
}

// The buffer starts small and takes its full size when it first fills: most outputs are
// small, and a job makes sixteen of them. (Growing step by step would free ever larger blocks,
// which the C library then hands back to the system, only to have them mapped again.)
constexpr std::size_t kFirstOutputBuffer = 8192;

OutputFile::OutputFile(FileSystem& files, int handle)
    : files_(files),
      handle_(handle),
      capacity_(kFirstOutputBuffer),
      buffer_(new unsigned char[capacity_]) {}

OutputFile::~OutputFile() {
  if (handle_ >= 0) static_cast<void>(close());  // as the header says: the outcome is lost
}

bool OutputFile::close() {
  flush();
  if (!files_.close(handle_)) failed_ = true;
  handle_ = -1;
  return !failed_;
}

bool OutputFile::write_out(const unsigned char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const std::int64_t written = files_.write(handle_, data + done, size - done);
    if (written <= 0) return false;  // a full disk, a size limit, an I/O error: the rest is lost
    done += static_cast<std::size_t>(written);
  }
  return true;
}

void OutputFile::flush() {
  if (used_ == 0) return;
  if (!write_out(buffer_.get(), used_)) failed_ = true;
  handed_out_ += used_;
  used_ = 0;
}

void OutputFile::make_room() {
  flush();
  if (capacity_ < kFileBufferSize) {
    capacity_ = kFileBufferSize;
    buffer_.reset(new unsigned char[capacity_]);
  }
}

void OutputFile::write_slow(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  // A piece as large as the whole buffer goes out as it is, after what is buffered: copying
  // it through the buffer would only move every byte once more.
  if (size >= kFileBufferSize) {
    flush();
    if (!write_out(bytes, size)) failed_ = true;
    handed_out_ += size;
    return;
  }
  while (size > 0) {
    if (used_ == capacity_) make_room();
    const std::size_t piece = std::min(size, capacity_ - used_);
    std::memcpy(buffer_.get() + used_, bytes, piece);
    used_ += piece;
    bytes += piece;
    size -= piece;
  }
}

}  // namespace model_unpack
