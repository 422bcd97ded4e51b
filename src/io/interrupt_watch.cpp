#include "io/interrupt_watch.h"

#include <cstdlib>

#if !defined(__wasi__)
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <ctime>
#endif

namespace model_unpack {

#if defined(__wasi__)

InterruptWatch::InterruptWatch(std::function<void()> on_interrupt)
    : on_interrupt_(std::move(on_interrupt)) {}

InterruptWatch::~InterruptWatch() = default;

bool InterruptWatch::reader_gone(int) const {
  return false;
}

void InterruptWatch::end_by_broken_pipe() {
  std::_Exit(1);
}

#else

namespace {

bool ignored(int signal) {
  struct sigaction current {};
  return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// The signals that end a batch early; one ignored when the run began (nohup) stays ignored.
sigset_t interrupting_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    if (!ignored(signal)) sigaddset(&set, signal);
  }
  return set;
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void()> on_interrupt)
    : on_interrupt_(std::move(on_interrupt)) {
  // A broken pipe is seen as a failed write instead, so the run can clean up before it ends.
  pipe_watched_ = !ignored(SIGPIPE);
  if (pipe_watched_) signal(SIGPIPE, SIG_IGN);
  // Blocked before any worker starts, so every thread inherits the mask and only the watcher
  // takes these signals.
  const sigset_t set = interrupting_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  watching_ = thread_.start([this] { watch(); });
  // Without the watcher, the signals keep their usual effect.
  if (!watching_) pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

InterruptWatch::~InterruptWatch() {
  if (pipe_watched_) signal(SIGPIPE, SIG_DFL);
  if (!watching_) return;
  done_ = true;
  thread_.join();
  // A signal that came after the watcher's last look is pending: it takes effect now.
  const sigset_t set = interrupting_signals();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

bool InterruptWatch::reader_gone(int fd) const {
  if (!pipe_watched_) return false;
  pollfd entry{fd, 0, 0};
  return poll(&entry, 1, 0) == 1 && (entry.revents & POLLERR) != 0;
}

void InterruptWatch::end_by_broken_pipe() {
  end_by(SIGPIPE);
}

void InterruptWatch::watch() {
  const sigset_t set = interrupting_signals();
  const timespec interval{0, 50'000'000};
  while (!done_) {
    const int signal = sigtimedwait(&set, nullptr, &interval);
    if (signal > 0) end_by(signal);
  }
}

void InterruptWatch::end_by(int signal) {
  // The second thread to get here waits for the first to end the process.
  if (ending_.exchange(true)) {
    for (;;) pause();
  }
  on_interrupt_();
  // Dies by the signal, so the shell sees it.
  ::signal(signal, SIG_DFL);
  sigset_t just_this;
  sigemptyset(&just_this);
  sigaddset(&just_this, signal);
  pthread_sigmask(SIG_UNBLOCK, &just_this, nullptr);
  raise(signal);
  _exit(128 + signal);
}

#endif

}  // namespace model_unpack
