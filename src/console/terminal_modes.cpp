#include "console/terminal_modes.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <initializer_list>

namespace model_unpack {

namespace {

// Signal handlers must reach the terminal, so its state lives here, written only while the
// handled signals are blocked.
int g_tty_fd = -1;
termios g_original_mode{};
termios g_keyboard_mode{};
volatile sig_atomic_t g_in_keyboard_mode = 0;

// The signals whose handlers restore the terminal; filled once before any is installed.
sigset_t g_handled_signals;

// Signals whose default action does not end the tool, or that it must not catch. SIGXFSZ
// stays ignored: a write past the file size limit fails like any other write.
constexpr int kNotFatal[] = {SIGKILL,  SIGSTOP, SIGCHLD, SIGCONT, SIGURG,
                             SIGWINCH, SIGTSTP, SIGTTIN, SIGTTOU, SIGXFSZ};

bool is_fatal(int signal_number) {
  for (int other : kNotFatal) {
    if (other == signal_number) return false;
  }
  // Between the classic signals and SIGRTMIN lie those the C library keeps for itself.
  return signal_number < 32 || signal_number >= SIGRTMIN;
}

bool inherited_as_ignored(int signal_number) {
  struct sigaction current {};
  return sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// Changes the terminal mode only as the terminal's foreground job: a tool started in the
// background must not switch its shell's terminal. SIGTTOU is blocked so that a restore on
// the way out can never stop the tool.
void set_mode(const termios& mode) {
  if (tcgetpgrp(g_tty_fd) != getpgrp()) return;
  sigset_t ttou;
  sigset_t previous;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  sigprocmask(SIG_BLOCK, &ttou, &previous);
  tcsetattr(g_tty_fd, TCSANOW, &mode);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

void restore_original_mode() {
  if (g_tty_fd >= 0) set_mode(g_original_mode);
}

void die_by(int signal_number) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal_number);
  raise(signal_number);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
}

void on_fatal_signal(int signal_number) {
  restore_original_mode();
  die_by(signal_number);
}

void install(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signal_number, &action, nullptr);
}

// Ctrl-Z: give the shell its terminal back, then stop as usual.
void on_stop_signal(int signal_number) {
  const int saved_errno = errno;
  restore_original_mode();
  die_by(signal_number);  // stops here until SIGCONT
  install(SIGTSTP, on_stop_signal);
  errno = saved_errno;
}

// Resumed: back to keyboard mode, which set_mode applies only as the foreground job.
void on_continue(int) {
  const int saved_errno = errno;
  if (g_in_keyboard_mode && g_tty_fd >= 0) set_mode(g_keyboard_mode);
  errno = saved_errno;
}

[[noreturn]] void on_terminate() {
  restore_original_mode();
  std::abort();
}

// Blocks the signals whose handlers touch the mode state while the main flow changes it.
class HandledSignalsBlocked {
 public:
  HandledSignalsBlocked() { sigprocmask(SIG_BLOCK, &g_handled_signals, &previous_); }
  ~HandledSignalsBlocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  HandledSignalsBlocked(const HandledSignalsBlocked&) = delete;
  HandledSignalsBlocked& operator=(const HandledSignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

// Every signal that would end the tool restores the terminal first; a signal the parent
// ignores (nohup, trap '' INT) is left ignored.
void install_handlers() {
  sigemptyset(&g_handled_signals);
  for (int signal_number = 1; signal_number <= SIGRTMAX; ++signal_number) {
    if (is_fatal(signal_number) && !inherited_as_ignored(signal_number)) {
      sigaddset(&g_handled_signals, signal_number);
    }
  }
  for (int signal_number : {SIGTSTP, SIGCONT}) {
    if (!inherited_as_ignored(signal_number)) sigaddset(&g_handled_signals, signal_number);
  }
  for (int signal_number = 1; signal_number <= SIGRTMAX; ++signal_number) {
    if (sigismember(&g_handled_signals, signal_number) != 1) continue;
    if (signal_number == SIGTSTP) {
      install(signal_number, on_stop_signal);
    } else if (signal_number == SIGCONT) {
      install(signal_number, on_continue);
    } else {
      install(signal_number, on_fatal_signal);
    }
  }
}

}  // namespace

void take_over_terminal(int fd, const termios& original) {
  {
    HandledSignalsBlocked blocked;
    g_tty_fd = fd;
    g_original_mode = original;
    g_keyboard_mode = original;
    // Only line editing and echo go: Ctrl-C stays a signal and "\n" still starts a new line.
    g_keyboard_mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    g_keyboard_mode.c_cc[VMIN] = 1;
    g_keyboard_mode.c_cc[VTIME] = 0;
    g_in_keyboard_mode = 0;
  }
  install_handlers();
  std::set_terminate(on_terminate);
}

void use_keyboard_mode(bool on) {
  HandledSignalsBlocked blocked;
  g_in_keyboard_mode = on ? 1 : 0;
  set_mode(on ? g_keyboard_mode : g_original_mode);
}

void give_back_terminal() {
  HandledSignalsBlocked blocked;
  restore_original_mode();
  g_in_keyboard_mode = 0;
  g_tty_fd = -1;
}

}  // namespace model_unpack
