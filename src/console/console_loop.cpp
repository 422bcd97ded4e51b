#include "console/console_loop.h"

#include <cstring>

namespace model_unpack {

namespace {

void print(std::FILE* out, const char* text) {
  std::fputs(text, out);
  std::fflush(out);
}

void ask_and_run(ConsolePlatform& platform, std::FILE* out, const ModelJob& job, NameBuffer& name) {
  platform.leave_keyboard_mode();
  print(out, "Enter filename: ");
  const std::string word = platform.read_word();
  platform.enter_keyboard_mode();
  if (!name_fits_buffer(word)) {
    print(out, (std::string(form_of(ConsoleMessage::NameTooLong).text) + "\n").c_str());
    return;
  }
  std::memcpy(name.data(), word.data(), word.size());
  job(name);
  std::fflush(out);
}

}  // namespace

int run_console_loop(ConsolePlatform& platform, std::FILE* out, const ModelJob& job) {
  platform.enter_keyboard_mode();
  NameBuffer name{};
  print(out, "Esc to exit. Press '1' to enter file name\n");
  for (;;) {
    const std::optional<KeyOutcome> key = platform.read_key();
    // The keyboard gone: nothing could ever end the loop otherwise.
    if (!key || *key == KeyOutcome::Esc) break;
    if (*key == KeyOutcome::NameKey) {
      ask_and_run(platform, out, job, name);
      name.fill('\0');
      print(out, "\nEsc to exit. Press '1' to enter file name\n");
    }
  }
  return 0;
}

}  // namespace model_unpack
