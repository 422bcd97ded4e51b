#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "io/interrupt_watch.h"

namespace model_unpack {

namespace {

bool ignored(int signal) {
  struct sigaction current {};
  return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// The signals that end a batch early; one ignored when the run began (nohup) stays ignored.
// The faults a program raises itself (SIGSEGV, SIGABRT and the like) are not among them.
sigset_t interrupting_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {
         SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, SIGVTALRM, SIGPROF,
             SIGIO,
#if defined(SIGPWR)
             SIGPWR,
#endif
#if defined(SIGSTKFLT)
             SIGSTKFLT,
#endif
       }) {
    if (!ignored(signal)) sigaddset(&set, signal);
  }
#if defined(SIGRTMIN)
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) {
    if (!ignored(signal)) sigaddset(&set, signal);
  }
#endif
  return set;
}

// The signal that came while no thread watched. A handler is given no context, and may do no
// more than note it: the one place it can be kept is here.
std::atomic<int> noted_signal{0};

extern "C" void note_signal(int signal) {
  noted_signal.store(signal);
}

// The signal that wakes the watcher when the run ends: one that queues, 0 when none is watched.
int wake_signal(const sigset_t& set) {
#if defined(SIGRTMAX)
  if (sigismember(&set, SIGRTMAX) == 1) return SIGRTMAX;
#endif
  static_cast<void>(set);
  return 0;
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
  if (!watching_) answer_on_callers();
}

// Without a watcher, the signals are noted by a handler and answered where the run looks.
void InterruptWatch::answer_on_callers() {
  const sigset_t set = interrupting_signals();
  struct sigaction noting {};
  noting.sa_handler = note_signal;
  noting.sa_flags = SA_RESTART;
  sigfillset(&noting.sa_mask);
  for (int signal = 1; signal < NSIG; ++signal) {
    if (sigismember(&set, signal) == 1) sigaction(signal, &noting, nullptr);
  }
  answered_by_callers_ = true;
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

InterruptWatch::~InterruptWatch() {
  if (pipe_watched_) signal(SIGPIPE, SIG_DFL);
  const sigset_t set = interrupting_signals();
  if (answered_by_callers_) {
    answer_pending();
    for (int signal = 1; signal < NSIG; ++signal) {
      if (sigismember(&set, signal) == 1) ::signal(signal, SIG_DFL);
    }
    return;
  }
  if (!watching_) return;
  // The watcher is woken at once rather than at its next look, which would keep every run
  // alive up to 50 ms longer. The signal chosen queues (a real-time one), so it never hides
  // one of the same number sent from outside.
  const int wake = wake_signal(set);
  wake_sent_ = watcher_ready_ && wake != 0;
  done_ = true;
  if (wake_sent_ && pthread_kill(watcher_, wake) != 0) wake_sent_ = false;
  thread_.join();
  // A signal that came after the watcher's last look is pending: it takes effect now.
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void InterruptWatch::answer_pending() {
  if (!answered_by_callers_) return;
  if (const int signal = noted_signal.load(); signal != 0) end_by(signal);
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
  watcher_ = pthread_self();
  watcher_ready_ = true;
  const sigset_t set = interrupting_signals();
  const int wake = wake_signal(set);
  const timespec interval{0, 50'000'000};
  for (;;) {
    siginfo_t info{};
    const int signal = sigtimedwait(&set, &info, &interval);
    if (signal > 0) {
      if (wake_sent_ && signal == wake && info.si_pid == getpid()) return;
      end_by(signal);
    } else if (done_ && !wake_sent_) {
      return;
    }
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

void say_without_waiting(std::FILE* stream, std::string_view text) {
  const int fd = fileno(stream);
  pollfd entry{fd, POLLOUT, 0};
  if (fd < 0 || poll(&entry, 1, 0) != 1 || (entry.revents & POLLOUT) == 0) return;
  // Once, and no more than a pipe takes whole when it has room.
  static_cast<void>(::write(fd, text.data(), std::min<std::size_t>(text.size(), PIPE_BUF)));
}

}  // namespace model_unpack
