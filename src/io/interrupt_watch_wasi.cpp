#include <cstdlib>

#include "io/interrupt_watch.h"

// No signals reach a WASI program: nothing is watched.
namespace model_unpack {

InterruptWatch::InterruptWatch(std::function<void()> on_interrupt)
    : on_interrupt_(std::move(on_interrupt)) {}

InterruptWatch::~InterruptWatch() = default;

bool InterruptWatch::reader_gone(int) const {
  return false;
}

void InterruptWatch::end_by_broken_pipe() {
  std::_Exit(1);
}

void InterruptWatch::answer_pending() {}

void say_without_waiting(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace model_unpack
