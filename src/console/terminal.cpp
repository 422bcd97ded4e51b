#include "console/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <exception>

#include "console/key_decoder.h"
#include "console/keyboard.h"
#include "console/word_reader.h"

namespace model_unpack {

namespace {

// How long the rest of an escape sequence may take before a lone Esc counts as the Esc key.
constexpr int kEscapeWaitMs = 75;

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

// Whether the name is typed at the console keyboard itself (standard input is our
// controlling terminal), rather than read from a file or pipe.
bool is_console_keyboard(std::FILE* stream) {
  const int fd = fileno(stream);
  return isatty(fd) != 0 && tcgetsid(fd) == getsid(0);
}

}  // namespace

std::unique_ptr<Terminal> Terminal::open(std::FILE* name_input) {
  const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  termios original{};
  if (tcgetattr(fd, &original) != 0) {
    close(fd);
    return nullptr;
  }
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
  const bool name_input_is_terminal = isatty(fileno(name_input)) != 0;
  return std::unique_ptr<Terminal>(
      new Terminal(fd, name_input, name_input_is_terminal, is_console_keyboard(name_input)));
}

Terminal::Terminal(int fd, std::FILE* name_input, bool name_input_is_terminal,
                   bool name_input_is_keyboard)
    : fd_(fd),
      name_input_(name_input),
      name_input_is_terminal_(name_input_is_terminal),
      name_input_is_keyboard_(name_input_is_keyboard) {}

Terminal::~Terminal() {
  HandledSignalsBlocked blocked;
  restore_original_mode();
  g_in_keyboard_mode = 0;
  g_tty_fd = -1;
  close(fd_);
}

void Terminal::enter_keyboard_mode() {
  HandledSignalsBlocked blocked;
  g_in_keyboard_mode = 1;
  set_mode(g_keyboard_mode);
}

void Terminal::leave_keyboard_mode() {
  HandledSignalsBlocked blocked;
  g_in_keyboard_mode = 0;
  set_mode(g_original_mode);
}

std::optional<unsigned char> Terminal::read_byte(int timeout_ms) {
  for (;;) {
    pollfd waiting{fd_, POLLIN, 0};
    const int ready = poll(&waiting, 1, timeout_ms);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) return std::nullopt;
    unsigned char byte = 0;
    const ssize_t got = ::read(fd_, &byte, 1);
    if (got == 1) return byte;
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    keyboard_lost_ = true;  // hung up: end of file or an I/O error for good
    return std::nullopt;
  }
}

std::optional<KeyOutcome> Terminal::read_key() {
  if (pending_bytes_.empty()) {
    const auto byte = read_byte(-1);
    if (!byte) return std::nullopt;
    pending_bytes_.push_back(*byte);
  }
  KeyDecode decoded = decode_key(pending_bytes_, true);
  while (decoded.outcome == KeyOutcome::NeedMore) {
    const auto byte = read_byte(kEscapeWaitMs);
    if (byte) pending_bytes_.push_back(*byte);
    if (keyboard_lost_) return std::nullopt;
    decoded = decode_key(pending_bytes_, byte.has_value());
  }
  pending_bytes_.erase(pending_bytes_.begin(),
                       pending_bytes_.begin() + static_cast<std::ptrdiff_t>(decoded.consumed));
  return decoded.outcome;
}

std::string Terminal::read_word() {
  if (!name_input_is_keyboard_) {
    return model_unpack::read_word(name_input_, name_input_is_terminal_);
  }
  for (;;) {
    if (std::optional<std::string> word = take_word(line_rest_)) return *word;
    // The next line: typed ahead into the queue, or typed now. What one read returns after
    // the line end is type-ahead for the key loop and stays in the queue.
    const auto line_end = std::find(pending_bytes_.begin(), pending_bytes_.end(), '\n');
    if (line_end != pending_bytes_.end()) {
      line_rest_.assign(pending_bytes_.begin(), line_end + 1);
      pending_bytes_.erase(pending_bytes_.begin(), line_end + 1);
      continue;
    }
    unsigned char buffer[4096];
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got > 0) {
      pending_bytes_.insert(pending_bytes_.end(), buffer, buffer + got);
      continue;
    }
    // Ctrl-D, or the terminal is gone: what was typed so far is the line, if anything.
    if (pending_bytes_.empty()) return "";
    line_rest_.assign(pending_bytes_.begin(), pending_bytes_.end());
    pending_bytes_.clear();
    if (std::optional<std::string> word = take_word(line_rest_)) return *word;
    return "";
  }
}

}  // namespace model_unpack

namespace model_unpack {

std::unique_ptr<ConsolePlatform> open_console_keyboard(std::FILE* name_input) {
  return Terminal::open(name_input);
}

}  // namespace model_unpack
