// The signals that end a run early, answered by a thread of their own: SIGINT, SIGTERM and
// SIGHUP (each unless the parent ignores it, as nohup does), and SIGPIPE, taken as a write to
// standard output that finds its reader gone. On Windows, the console's Ctrl-C, Ctrl-Break and
// the closing of its window (or the end of the session) do the same. Where there are neither
// signals nor threads (WASI), nothing is watched.
#pragma once

#include <atomic>
#include <functional>

#include "io/threads.h"

namespace model_unpack {

class InterruptWatch {
 public:
  // `on_interrupt` runs once, before the process ends by the signal that came, on the watcher
  // or on the thread that calls end_by_broken_pipe().
  explicit InterruptWatch(std::function<void()> on_interrupt);
  // A signal that comes once the watcher has ended still ends the process.
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Whether a write to `fd` failed because nothing reads it any more; then the run is to end
  // as SIGPIPE would have ended it, through end_by_broken_pipe().
  bool reader_gone(int fd) const;
  [[noreturn]] void end_by_broken_pipe();

  // Runs `on_interrupt` once, then ends the process as `signal` (on Windows, the console
  // event) would have ended it.
  [[noreturn]] void end_by(int signal);

 private:
  void watch();

  std::function<void()> on_interrupt_;
  std::atomic<bool> done_{false};
  std::atomic<bool> ending_{false};
  bool watching_ = false;
  bool pipe_watched_ = false;  // SIGPIPE was not ignored when the run began
  WorkerThread thread_;
};

}  // namespace model_unpack
