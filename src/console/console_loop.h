// The key loop: '1' asks for a model file name and runs a job on it, Esc ends the program.
#pragma once

#include <array>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "console/key_decoder.h"
#include "console/typed_name.h"
#include "io/message.h"

namespace model_unpack {

// What the interactive tool itself says, as the catalogue states it.
enum class ConsoleMessage { NoKeyboard, NameTooLong };
inline constexpr std::array<MessageForm, 2> kConsoleMessages{{
    {"no_console_keyboard", Severity::Error, "Error: no console keyboard :("},
    {"name_too_long", Severity::Error, "File name too long :("},
}};
constexpr const MessageForm& form_of(ConsoleMessage kind) {
  return kConsoleMessages[static_cast<std::size_t>(kind)];
}

// What the loop needs of the console, so it can run against a scripted keyboard in tests.
class ConsolePlatform {
 public:
  virtual ~ConsolePlatform() = default;
  // Single unechoed keys; on while the loop polls and while a job runs.
  virtual void enter_keyboard_mode() = 0;
  // The terminal's own line editing and echo, for typing a name.
  virtual void leave_keyboard_mode() = 0;
  // Waits for the next key, as the loop acts on it ('1', Esc, or one it ignores); none when
  // the keyboard is gone for good.
  virtual std::optional<KeyOutcome> read_key() = 0;
  virtual std::string read_word() = 0;
};

using ModelJob = std::function<void(NameBuffer&)>;

// Runs until Esc; returns the exit status.
int run_console_loop(ConsolePlatform& platform, std::FILE* out, const ModelJob& job);

}  // namespace model_unpack
