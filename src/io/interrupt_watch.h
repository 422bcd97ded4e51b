// The signals that end a run early: every signal whose default action ends the process and
// that can be caught (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU,
// SIGVTALRM, SIGPROF, SIGIO, SIGPWR, SIGSTKFLT and the real-time signals), each unless the
// parent ignores it, as nohup does; and SIGPIPE, taken as a write to standard output that finds
// its reader gone. They are answered by a thread of their own, or, where none can be started,
// by the threads that call answer_pending(). On Windows, the console's Ctrl-C, Ctrl-Break and
// the closing of its window (or the end of the session) do the same. Where there are neither
// signals nor threads (WASI), nothing is watched.
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <string_view>

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

  // When no thread could be started to watch, a signal that has come is answered here, on the
  // calling thread (which must hold no lock that `on_interrupt` takes).
  void answer_pending();

 private:
  void watch();
  void answer_on_callers();

  std::function<void()> on_interrupt_;
  std::atomic<bool> done_{false};
  std::atomic<bool> watcher_ready_{false};  // watcher_ is set
  std::atomic<bool> wake_sent_{false};      // the watcher waits for its wake signal
  WatcherHandle watcher_{};
  std::atomic<bool> ending_{false};
  bool watching_ = false;
  bool answered_by_callers_ = false;  // no watcher: the signals are noted for answer_pending()
  bool pipe_watched_ = false;         // SIGPIPE was not ignored when the run began
  WorkerThread thread_;
};

// Writes `text` to `stream` only if it can be written at once, else drops it: an interrupted
// run must end even while its reader stalls.
void say_without_waiting(std::FILE* stream, std::string_view text);

}  // namespace model_unpack
