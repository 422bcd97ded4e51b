// A job's console lines, kept until it is the job's turn to print them: in memory while they
// are few, in an unlinked temporary file once they pass a limit, so a job that prints millions
// of lines (a directory of millions of entries) still runs in bounded memory.
#pragma once

#include <cstdio>
#include <string>

namespace model_unpack {

class CapturedLines {
 public:
  // Nothing is kept when `keep_all` is false (for -q).
  explicit CapturedLines(bool keep_all, std::size_t memory_limit = std::size_t{1} << 20);
  ~CapturedLines();
  CapturedLines(const CapturedLines&) = delete;
  CapturedLines& operator=(const CapturedLines&) = delete;

  // The stream a job prints into; valid until close().
  std::FILE* stream() const { return stream_; }
  // Ends the capture; false when the lines could not all be kept.
  bool close();

  // Writes what was kept to `out`.
  void replay(std::FILE* out);
  bool empty() const { return size_ == 0; }

 private:
  static void sink(void* self, const char* data, std::size_t size);
  void take(const char* data, std::size_t size);

  bool keep_all_;
  std::size_t memory_limit_;
  std::FILE* stream_ = nullptr;
  std::string memory_;
  std::FILE* spill_ = nullptr;  // once memory_ would pass the limit
  std::size_t size_ = 0;
  bool failed_ = false;
  bool straight_ = false;  // the stream is the temporary file itself
};

}  // namespace model_unpack
