#include "batch/captured_lines.h"

#include <cstring>
#include <string_view>

#include "io/capture_streams.h"

namespace model_unpack {

CapturedLines::CapturedLines(bool keep_all, std::size_t memory_limit)
    : keep_all_(keep_all), memory_limit_(memory_limit) {
  if (kSinkStreams) {
    stream_ = open_sink_stream(this, &CapturedLines::sink);
  } else {
    // Where there are no such streams, the lines go straight to a temporary file.
    spill_ = open_temporary_file();
    if (spill_ != nullptr && std::setvbuf(spill_, nullptr, _IOFBF, 1 << 16) == 0) {
      stream_ = spill_;
      straight_ = true;
    }
  }
  if (stream_ == nullptr) failed_ = true;
}

CapturedLines::~CapturedLines() {
  close();
  if (spill_ != nullptr) std::fclose(spill_);
}

bool CapturedLines::close() {
  if (stream_ != nullptr) {
    if (straight_) {
      if (std::fflush(stream_) != 0) failed_ = true;
      size_ = static_cast<std::size_t>(std::ftell(stream_));
    } else if (std::fclose(stream_) != 0) {
      failed_ = true;
    }
    stream_ = nullptr;
  }
  return !failed_;
}

void CapturedLines::sink(void* self, const char* data, std::size_t size) {
  static_cast<CapturedLines*>(self)->take(data, size);
}

void CapturedLines::take(const char* data, std::size_t size) {
  if (!keep_all_) return;
  size_ += size;
  if (spill_ == nullptr && memory_.size() + size > memory_limit_) {
    spill_ = open_temporary_file();
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
