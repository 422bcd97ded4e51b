// The console keyboard of Windows. Keys are read as the console's input events, in the order
// they were made, so keys pressed during a job wait in its queue; a key that makes no character
// (an arrow, a function key, Shift) is one event, ignored whole. Names are read as a line the
// console edits and echoes. The console's input mode is restored on every way out: when the
// tool ends, and on Ctrl-C, Ctrl-Break or the closing of its window.
#include <io.h>
#include <windows.h>

#include <atomic>

#include "console/keyboard.h"
#include "console/word_reader.h"
#include "io/utf8_windows.h"

namespace model_unpack {

namespace {

// The console calls its control handlers without a context: the mode to restore is kept here
// while a keyboard is open.
std::atomic<HANDLE> the_input{nullptr};
std::atomic<DWORD> the_original_mode{0};

BOOL WINAPI restore_on_console_event(DWORD) {
  if (const HANDLE input = the_input.load()) SetConsoleMode(input, the_original_mode.load());
  return FALSE;  // the default handling ends the process
}

class WindowsConsole final : public ConsolePlatform {
 public:
  WindowsConsole(HANDLE input, DWORD original, std::FILE* name_input, bool name_input_is_keyboard)
      : input_(input),
        original_(original),
        name_input_(name_input),
        name_input_is_keyboard_(name_input_is_keyboard) {}

  ~WindowsConsole() override {
    SetConsoleMode(input_, original_);
    SetConsoleCtrlHandler(restore_on_console_event, FALSE);
    the_input = nullptr;
    CloseHandle(input_);
  }

  void enter_keyboard_mode() override {
    SetConsoleMode(input_, (original_ | ENABLE_PROCESSED_INPUT) &
                               ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT));
  }
  void leave_keyboard_mode() override {
    SetConsoleMode(input_,
                   original_ | ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
  }

  // Waits on the console's input, not in a loop of polls.
  std::optional<KeyOutcome> read_key() override {
    for (;;) {
      INPUT_RECORD record{};
      DWORD got = 0;
      if (!ReadConsoleInputW(input_, &record, 1, &got) || got == 0) return std::nullopt;
      if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
      switch (record.Event.KeyEvent.uChar.UnicodeChar) {
        case L'1':
          return KeyOutcome::NameKey;
        case 0x1B:
          return KeyOutcome::Esc;
        default:
          return KeyOutcome::Ignored;
      }
    }
  }

  std::string read_word() override {
    if (!name_input_is_keyboard_) return model_unpack::read_word(name_input_, false);
    for (;;) {
      if (std::optional<std::string> word = take_word(line_rest_)) return *word;
      wchar_t buffer[1024];
      DWORD got = 0;
      if (!ReadConsoleW(input_, buffer, 1024, &got, nullptr) || got == 0) return "";
      line_rest_ += utf8_text(std::wstring_view(buffer, got));
    }
  }

 private:
  HANDLE input_;
  DWORD original_;
  std::FILE* name_input_;
  bool name_input_is_keyboard_;
  std::string line_rest_;  // the rest of the line the last name came from
};

}  // namespace

std::unique_ptr<ConsolePlatform> open_console_keyboard(std::FILE* name_input) {
  const HANDLE input =
      CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD original = 0;
  if (input == INVALID_HANDLE_VALUE) return nullptr;
  if (!GetConsoleMode(input, &original)) {
    CloseHandle(input);
    return nullptr;
  }
  the_original_mode = original;
  the_input = input;
  SetConsoleCtrlHandler(restore_on_console_event, TRUE);
  DWORD standard_mode = 0;
  const bool name_input_is_keyboard =
      GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(name_input))), &standard_mode);
  return std::make_unique<WindowsConsole>(input, original, name_input, name_input_is_keyboard);
}

}  // namespace model_unpack
