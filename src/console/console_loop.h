// The key loop: '1' asks for a model file name and runs a job on it, Esc ends the program.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "console/typed_name.h"

namespace model_unpack {

// The key codes the loop acts on; every other key reads as kIgnoredKey.
inline constexpr int kEscKey = 27;
inline constexpr int kNameKey = '1';
inline constexpr int kIgnoredKey = 0;

// What the loop needs of the console, so it can run against a scripted keyboard in tests.
class ConsolePlatform {
 public:
  virtual ~ConsolePlatform() = default;
  // Single unechoed keys; on while the loop polls and while a job runs.
  virtual void enter_keyboard_mode() = 0;
  // The terminal's own line editing and echo, for typing a name.
  virtual void leave_keyboard_mode() = 0;
  // Waits for the next key code; none when the keyboard is gone for good.
  virtual std::optional<int> read_key() = 0;
  virtual std::string read_word() = 0;
};

using ModelJob = std::function<void(NameBuffer&)>;

// Runs until Esc; returns the exit status.
int run_console_loop(ConsolePlatform& platform, std::FILE* out, const ModelJob& job);

}  // namespace model_unpack
