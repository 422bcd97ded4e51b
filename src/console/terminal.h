// The console keyboard (/dev/tty) and the terminal modes the tool switches between.
#pragma once

#include <cstdio>
#include <memory>
#include <vector>

#include "console/console_loop.h"

namespace model_unpack {

class Terminal final : public ConsolePlatform {
 public:
  // Null when there is no console keyboard. Only one may exist at a time: the terminal's
  // original mode is restored on every way out, signals included.
  static std::unique_ptr<Terminal> open(std::FILE* name_input);
  ~Terminal() override;
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  void enter_keyboard_mode() override;
  void leave_keyboard_mode() override;
  std::optional<KeyOutcome> read_key() override;
  std::string read_word() override;

 private:
  Terminal(int fd, std::FILE* name_input, bool name_input_is_terminal, bool name_input_is_keyboard);
  // Next byte from the keyboard; waits at most `timeout_ms` (-1: forever). None on timeout.
  std::optional<unsigned char> read_byte(int timeout_ms);

  int fd_;
  std::FILE* name_input_;
  bool name_input_is_terminal_;
  // Names typed at the keyboard are read from the same queue of terminal bytes as the keys,
  // so keys typed ahead are honoured in order.
  bool name_input_is_keyboard_;
  bool keyboard_lost_ = false;
  std::vector<unsigned char> pending_bytes_;
  std::string line_rest_;  // the rest of the line the last name came from
};

}  // namespace model_unpack
