#include "console/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

#include "console/key_decoder.h"
#include "console/keyboard.h"
#include "console/terminal_modes.h"
#include "console/word_reader.h"

namespace model_unpack {

namespace {

// How long the rest of an escape sequence may take before a lone Esc counts as the Esc key.
constexpr int kEscapeWaitMs = 75;

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
  take_over_terminal(fd, original);
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
  give_back_terminal();
  close(fd_);
}

void Terminal::enter_keyboard_mode() {
  use_keyboard_mode(true);
}

void Terminal::leave_keyboard_mode() {
  use_keyboard_mode(false);
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
