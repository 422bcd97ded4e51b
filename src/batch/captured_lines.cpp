#include "batch/captured_lines.h"

#include <cstring>
#include <string_view>

namespace model_unpack {

namespace {

// An unnamed temporary file; WASI has no place for one, and the lines stay in memory.
std::FILE* spill_file() {
#if defined(__wasi__)
  return nullptr;
#else
  return std::tmpfile();
#endif
}

}  // namespace

CapturedLines::CapturedLines(bool keep_all, std::size_t memory_limit)
    : keep_all_(keep_all), memory_limit_(memory_limit) {
  const cookie_io_functions_t functions{nullptr, &CapturedLines::write_cookie, nullptr, nullptr};
  stream_ = fopencookie(this, "w", functions);
  if (stream_ == nullptr) failed_ = true;
}

CapturedLines::~CapturedLines() {
  close();
  if (spill_ != nullptr) std::fclose(spill_);
}

bool CapturedLines::close() {
  if (stream_ != nullptr) {
    if (std::fclose(stream_) != 0) failed_ = true;
    stream_ = nullptr;
  }
  return !failed_;
}

ssize_t CapturedLines::write_cookie(void* self, const char* data, std::size_t size) {
  static_cast<CapturedLines*>(self)->take(data, size);
  return static_cast<ssize_t>(size);
}

void CapturedLines::take(const char* data, std::size_t size) {
  if (!keep_all_) return;
  size_ += size;
  if (spill_ == nullptr && memory_.size() + size > memory_limit_) {
    spill_ = spill_file();
    if (spill_ != nullptr &&
        std::fwrite(memory_.data(), 1, memory_.size(), spill_) == memory_.size()) {
      std::string().swap(memory_);
    } else {
      // No room on disk: the lines stay in memory rather than being lost.
      if (spill_ != nullptr) std::fclose(spill_);
      spill_ = nullptr;
      memory_limit_ = static_cast<std::size_t>(-1);
    }
  }
  if (spill_ == nullptr) {
    memory_.append(data, size);
  } else if (std::fwrite(data, 1, size, spill_) != size) {
    failed_ = true;
  }
}

void CapturedLines::replay(std::FILE* out) {
  if (spill_ == nullptr) {
    std::fwrite(memory_.data(), 1, memory_.size(), out);
    return;
  }
  std::rewind(spill_);
  char buffer[1 << 16];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, spill_)) > 0;) {
    std::fwrite(buffer, 1, got, out);
  }
}

}  // namespace model_unpack
