// The run's progress on a terminal: "[k/N] NAME" on standard error, kept up to date in place.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "batch/batch_run.h"
#include "io/console_text.h"

namespace model_unpack {

class Progress {
 public:
  Progress(const BatchStreams& streams, std::size_t total)
      : err_(streams.err), total_(total), shown_(streams.err_is_terminal && total >= 2) {}

  void show(std::size_t index, const std::string& model) {
    if (!shown_) return;
    std::fprintf(err_, "\r[%zu/%zu] %s\033[K", index + 1, total_, escaped_text(model).c_str());
    std::fflush(err_);
  }
  bool shown() const { return shown_; }
  static constexpr std::string_view kErase = "\r\033[K";
  void erase() {
    if (!shown_) return;
    std::fputs(kErase.data(), err_);
    std::fflush(err_);
  }

 private:
  std::FILE* err_;
  std::size_t total_;
  bool shown_;
};

}  // namespace model_unpack
