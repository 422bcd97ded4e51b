// The job's files: the model file read through its own buffer, the info and export files
// written through theirs. A read delivers what the file still holds and nothing past its end
// (until the next seek); a read that fails ends the file too, and is remembered, so the job
// can say that what it read was not the whole model. A failed write loses its bytes but is
// remembered, so the caller can tell the user once the file is closed.
#pragma once

#include <fcntl.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "io/file_system.h"

namespace model_unpack {

// The most a buffered file holds before it reads or writes.
inline constexpr std::size_t kFileBufferSize = std::size_t{1} << 18;

class ModelFile {
 public:
  // Null when the file cannot be opened or is not a regular file. A FIFO does not block.
  [[nodiscard]] static std::unique_ptr<ModelFile> open(const char* name, FileSystem& files);
  ~ModelFile();
  ModelFile(const ModelFile&) = delete;
  ModelFile& operator=(const ModelFile&) = delete;

  // A second reader of the same open file, with a position and buffer of its own; it must not
  // outlive this one.
  std::unique_ptr<ModelFile> another_reader() const;

  // Every u32 offset is reachable; an offset past the end makes every read deliver nothing.
  void seek(std::uint64_t offset);

  std::optional<FileIdentity> identity() const { return files_.identify_open(handle_); }

  // The size when the file was opened.
  std::uint64_t size() const { return size_; }

  // The error number of the first read that failed, by this reader or another of the same
  // file; 0 while none has. A read that would wait (EAGAIN) is taken as the end, not a failure.
  int read_failure() const { return read_failure_->load(std::memory_order_relaxed); }

  // Reads up to `size` bytes at `offset`, apart from the buffered reads and safe from any
  // thread; returns how many arrived.
  [[nodiscard]] std::size_t read_at(std::uint64_t offset, void* dest, std::size_t size) const;

  // Reads up to `size` bytes into `dest` and returns how many arrived; bytes not delivered
  // keep their old value.
  // Always inlined: the fast path is a few instructions, called once per value of every block.
  [[gnu::always_inline]] std::size_t read(void* dest, std::size_t size) {
    if (end_ - position_ >= size) {
      std::memcpy(dest, buffer_.get() + position_, size);
      position_ += size;
      return size;
    }
    return read_slow(dest, size);
  }

 private:
  ModelFile(FileSystem& files, int handle, std::uint64_t size, std::atomic<int>* read_failure);
  std::size_t read_slow(void* dest, std::size_t size);
  // Reads at `offset`; 0 at the end, and on a failure, which is remembered.
  std::size_t read_some(void* dest, std::size_t size, std::uint64_t offset) const;

  FileSystem& files_;
  int handle_;
  std::atomic<int> own_read_failure_{0};
  std::atomic<int>* read_failure_;  // own_read_failure_, or the first reader's
  std::uint64_t size_;
  std::size_t capacity_;
  std::unique_ptr<unsigned char[]> buffer_;
  std::uint64_t buffer_offset_ = 0;  // file offset of buffer_[0]
  std::size_t position_ = 0;
  std::size_t end_ = 0;
  bool at_end_ = false;  // the end was reached: reads deliver nothing until a seek
};

class OutputFile {
 public:
  // Creates or empties the file with `mode`, then opens it for writing; null on failure. A
  // relative name is taken in `directory`. A FIFO nobody reads fails at once.
  [[nodiscard]] static std::unique_ptr<OutputFile> create(const char* name, Folder directory,
                                                          mode_t mode, FileSystem& files);
  // Takes over a handle open for writing.
  static std::unique_ptr<OutputFile> adopt(int handle, FileSystem& files);
  ~OutputFile();  // closes if close() was not called; the outcome is then lost
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Writes out what is buffered and closes the file; false when any write or the close failed.
  [[nodiscard]] bool close();

  [[gnu::always_inline]] void write(const void* data, std::size_t size) {
    if (capacity_ - used_ >= size) {
      std::memcpy(buffer_.get() + used_, data, size);
      used_ += size;
      return;
    }
    write_slow(data, size);
  }

  // Room for `size` bytes (at most 4096) to be formatted in place, then handed back with
  // commit().
  [[gnu::always_inline]] char* reserve(std::size_t size) {
    if (capacity_ - used_ < size) make_room();
    return reinterpret_cast<char*>(buffer_.get() + used_);
  }
  void commit(const char* end) {
    used_ = static_cast<std::size_t>(reinterpret_cast<const unsigned char*>(end) - buffer_.get());
  }

  std::optional<FileIdentity> identity() const { return files_.identify_open(handle_); }

  // Whether a write has failed already: what is written from then on is lost, so a caller
  // may as well stop producing it.
  bool failed() const { return failed_; }

  // Bytes written so far, those still buffered included.
  std::uint64_t written() const { return handed_out_ + used_; }

 private:
  OutputFile(FileSystem& files, int handle);
  void write_slow(const void* data, std::size_t size);
  void flush();
  // Writes out what is buffered, and lets the buffer grow.
  void make_room();
  // Writes `size` bytes from `data` to the file; false when a write failed.
  bool write_out(const unsigned char* data, std::size_t size);

  FileSystem& files_;
  int handle_;
  std::size_t capacity_;
  std::unique_ptr<unsigned char[]> buffer_;
  std::size_t used_ = 0;
  std::uint64_t handed_out_ = 0;  // bytes that left the buffer
  bool failed_ = false;
};

}  // namespace model_unpack
