// Where the job's progress lines go (console_text.h says how text from a model file is shown
// there).
#pragma once

#include <cstdio>
#include <string_view>

namespace model_unpack {

// Takes a job's lines instead of a stream (the batch tool holds them until their turn).
class LineSink {
 public:
  virtual void take(std::string_view text) = 0;

 protected:
  ~LineSink() = default;
};

struct ConsoleOutput {
  std::FILE* stream = stdout;
  bool is_terminal = false;
  // File names are masked on a terminal as model text is (the batch tool's names come from
  // arbitrary paths; the interactive tool shows what was typed).
  bool mask_names = false;
  LineSink* sink = nullptr;  // when set, the lines go there instead of to `stream`
};

// Writes to a stream only this thread writes to, without taking its lock (each platform's
// own: console_write_posix.cpp, console_write_windows.cpp).
void write_unlocked(std::FILE* stream, std::string_view text);

inline void console_print(const ConsoleOutput& console, std::string_view text) {
  if (console.sink != nullptr) return console.sink->take(text);
  write_unlocked(console.stream, text);
}

}  // namespace model_unpack
