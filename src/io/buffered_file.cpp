#include "io/buffered_file.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace model_unpack {

std::unique_ptr<ModelFile> ModelFile::open(const char* name, FileSystem& files) {
  std::uint64_t size = 0;
  const int handle = files.open_for_reading(name, size);
  if (handle < 0) return nullptr;
  return std::unique_ptr<ModelFile>(new ModelFile(files, handle, size, true));
}

std::unique_ptr<ModelFile> ModelFile::another_reader() const {
  return std::unique_ptr<ModelFile>(new ModelFile(files_, handle_, size_, false));
}

ModelFile::ModelFile(FileSystem& files, int handle, std::uint64_t size, bool owns_handle)
    : files_(files),
      handle_(handle),
      owns_handle_(owns_handle),
      size_(size),
      capacity_(files.buffer_size()),
      buffer_(new unsigned char[capacity_]) {}

ModelFile::~ModelFile() {
  if (owns_handle_) files_.close(handle_);
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
      const std::int64_t got = files_.read_at(handle_, buffer_.get(), capacity_, buffer_offset_);
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

namespace {
constexpr std::size_t kReserveLimit = 4096;  // the most reserve() asks for
}  // namespace

// A second thread that writes one buffer at a time, in order, while the job fills the next.
// Each side is woken by a condition of its own, after the lock is let go, so that a hand-over
// costs one wake-up and no wait for the lock.
class OutputFile::WriteBehind {
 public:
  WriteBehind(OutputFile& file, std::size_t capacity)
      : file_(file), spare_(new unsigned char[capacity]), thread_([this] { run(); }) {}
  ~WriteBehind() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    handed_over_.notify_one();
    thread_.join();
  }

  // Hands `buffer` (its first `size` bytes) over for writing and returns the buffer to fill
  // next, once the previous one has been written; `failed` tells whether a write failed.
  std::unique_ptr<unsigned char[]> hand_over(std::unique_ptr<unsigned char[]> buffer,
                                             std::size_t size, bool& failed) {
    std::unique_ptr<unsigned char[]> next;
    {
      std::unique_lock lock(mutex_);
      written_.wait(lock, [this] { return pending_ == nullptr; });
      failed = failed_;
      pending_ = std::move(buffer);
      pending_size_ = size;
      next = std::move(spare_);
    }
    handed_over_.notify_one();
    return next;
  }

  // Waits until everything handed over is written; false when a write failed.
  bool drain() {
    std::unique_lock lock(mutex_);
    written_.wait(lock, [this] { return pending_ == nullptr; });
    return !failed_;
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      handed_over_.wait(lock, [this] { return pending_ != nullptr || stopping_; });
      if (pending_ == nullptr) return;
      lock.unlock();
      const bool written = file_.write_out(pending_.get(), pending_size_);
      lock.lock();
      failed_ |= !written;
      spare_ = std::move(pending_);
      lock.unlock();
      written_.notify_one();
      lock.lock();
    }
  }

  OutputFile& file_;
  std::mutex mutex_;
  std::condition_variable handed_over_;       // the writer waits for a buffer
  std::condition_variable written_;           // the job waits for the spare buffer
  std::unique_ptr<unsigned char[]> spare_;    // the buffer to fill next, once written
  std::unique_ptr<unsigned char[]> pending_;  // the buffer being written
  std::size_t pending_size_ = 0;
  bool failed_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

std::unique_ptr<OutputFile> OutputFile::create(const char* name, int directory, mode_t mode,
                                               FileSystem& files) {
  const int handle = files.create(directory, name, mode);
  if (handle < 0) return nullptr;
  return adopt(handle, files);
}

std::unique_ptr<OutputFile> OutputFile::adopt(int handle, FileSystem& files) {
  return std::unique_ptr<OutputFile>(new OutputFile(files, handle));
}

OutputFile::OutputFile(FileSystem& files, int handle)
    : files_(files),
      handle_(handle),
      capacity_(std::max<std::size_t>(files.buffer_size(), 4096)),
      buffer_(new unsigned char[capacity_]) {}

OutputFile::~OutputFile() {
  if (handle_ >= 0) close();
}

bool OutputFile::close() {
  flush();
  if (behind_ != nullptr) {
    if (!behind_->drain()) failed_ = true;
    behind_.reset();
  }
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
  // A (nearly) full buffer means a large file: from then on the next buffer fills while this
  // one is written. Smaller files are written at once, without a thread.
  if (behind_ == nullptr && !behind_refused_ && used_ + kReserveLimit >= capacity_ &&
      files_.write_behind()) {
    try {
      behind_ = std::make_unique<WriteBehind>(*this, capacity_);
    } catch (const std::system_error&) {
      behind_refused_ = true;  // no thread to be had: this file is written from here
    }
  }
  if (behind_ != nullptr) {
    bool failed = false;
    buffer_ = behind_->hand_over(std::move(buffer_), used_, failed);
    failed_ |= failed;
  } else if (!write_out(buffer_.get(), used_)) {
    failed_ = true;
  }
  used_ = 0;
}

void OutputFile::write_slow(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    if (used_ == capacity_) flush();
    const std::size_t piece = std::min(size, capacity_ - used_);
    std::memcpy(buffer_.get() + used_, bytes, piece);
    used_ += piece;
    bytes += piece;
    size -= piece;
  }
}

}  // namespace model_unpack
