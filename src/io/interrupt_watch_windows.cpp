// Windows: the console's control events end the run, as signals do on Linux.
#include <windows.h>

#include "io/interrupt_watch.h"
#include "io/process_start.h"

namespace model_unpack {

namespace {

// What Windows programs end with after Ctrl-C (the shell shows -1073741510).
constexpr UINT kControlCExit = 0xC000013A;

// The console calls its control handlers without a context: the one watch of the process is
// found here, set while it watches.
std::atomic<InterruptWatch*> the_watch{nullptr};

BOOL WINAPI on_console_event(DWORD event) {
  InterruptWatch* watch = the_watch.load();
  if (watch == nullptr) return FALSE;
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      watch->end_by(static_cast<int>(event));
    default:
      return FALSE;
  }
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void()> on_interrupt)
    : on_interrupt_(std::move(on_interrupt)) {
  the_watch = this;
  watching_ = SetConsoleCtrlHandler(on_console_event, TRUE) != 0;
}

InterruptWatch::~InterruptWatch() {
  if (watching_) SetConsoleCtrlHandler(on_console_event, FALSE);
  the_watch = nullptr;
}

// A pipe whose reader went away is a failed write, said as a write error.
bool InterruptWatch::reader_gone(int) const {
  return false;
}

void InterruptWatch::end_by_broken_pipe() {
  end_by(CTRL_C_EVENT);
}

void InterruptWatch::end_by(int) {
  // The second thread to get here waits for the first to end the process.
  if (ending_.exchange(true)) Sleep(INFINITE);
  on_interrupt_();
  restore_console();  // ExitProcess runs no atexit handler
  ExitProcess(kControlCExit);
}

void InterruptWatch::watch() {}

// The console's events come on a thread of the system's own: nothing waits to be answered.
void InterruptWatch::answer_pending() {}

void say_without_waiting(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace model_unpack
