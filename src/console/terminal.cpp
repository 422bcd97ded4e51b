#include "console/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>

#include "console/key_decoder.h"
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

// Every signal whose default action ends the tool: the terminal is restored on the way out.
constexpr int kFatalSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1,
                                 SIGUSR2, SIGABRT, SIGSEGV, SIGBUS,  SIGFPE,  SIGILL};

// Sets the terminal mode without being stopped by SIGTTOU when the tool is in the background.
void set_mode(const termios& mode) {
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

// Resumed: back to keyboard mode, but only as the terminal's foreground job.
void on_continue(int) {
  const int saved_errno = errno;
  if (g_in_keyboard_mode && g_tty_fd >= 0 && tcgetpgrp(g_tty_fd) == getpgrp()) {
    set_mode(g_keyboard_mode);
  }
  errno = saved_errno;
}

[[noreturn]] void on_terminate() {
  restore_original_mode();
  std::abort();
}

// Blocks the signals whose handlers touch the mode state while the main flow changes it.
class HandledSignalsBlocked {
 public:
  HandledSignalsBlocked() {
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal_number : kFatalSignals) sigaddset(&blocked, signal_number);
    sigaddset(&blocked, SIGTSTP);
    sigaddset(&blocked, SIGCONT);
    sigprocmask(SIG_BLOCK, &blocked, &previous_);
  }
  ~HandledSignalsBlocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  HandledSignalsBlocked(const HandledSignalsBlocked&) = delete;
  HandledSignalsBlocked& operator=(const HandledSignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

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
  for (int signal_number : kFatalSignals) install(signal_number, on_fatal_signal);
  install(SIGTSTP, on_stop_signal);
  install(SIGCONT, on_continue);
  std::set_terminate(on_terminate);
  const bool name_input_is_terminal = isatty(fileno(name_input)) != 0;
  return std::unique_ptr<Terminal>(new Terminal(fd, name_input, name_input_is_terminal));
}

Terminal::Terminal(int fd, std::FILE* name_input, bool name_input_is_terminal)
    : fd_(fd), name_input_(name_input), name_input_is_terminal_(name_input_is_terminal) {}

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

std::optional<int> Terminal::read_key() {
  while (pending_codes_.empty()) {
    if (pending_bytes_.empty()) {
      const auto byte = read_byte(-1);
      if (!byte) return std::nullopt;
      pending_bytes_.push_back(*byte);
    }
    KeyDecode decoded = decode_key(pending_bytes_, true);
    while (decoded.status == KeyDecode::Status::NeedMore) {
      const auto byte = read_byte(kEscapeWaitMs);
      if (byte) pending_bytes_.push_back(*byte);
      if (keyboard_lost_) return std::nullopt;
      decoded = decode_key(pending_bytes_, byte.has_value());
    }
    pending_bytes_.erase(pending_bytes_.begin(),
                         pending_bytes_.begin() + static_cast<std::ptrdiff_t>(decoded.consumed));
    for (std::size_t i = 0; i < decoded.code_count; ++i) pending_codes_.push_back(decoded.codes[i]);
  }
  const int code = pending_codes_.front();
  pending_codes_.erase(pending_codes_.begin());
  return code;
}

std::string Terminal::read_word() {
  return model_unpack::read_word(name_input_, name_input_is_terminal_);
}

}  // namespace model_unpack
