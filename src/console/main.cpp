#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "console/console_loop.h"
#include "console/keyboard.h"
#include "console/typed_name.h"
#include "io/process_start.h"

int main() {
  using namespace model_unpack;
  open_closed_standard_streams();
  keep_freed_memory_for_reuse();
  use_utf8_console();
#ifdef SIGXFSZ
  // A write past the file size limit then fails like any other write instead of killing us.
  signal(SIGXFSZ, SIG_IGN);
#endif
  // Each console line reaches a pipe (model-unpack | tee log) as it is printed.
  setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  const auto terminal = open_console_keyboard(stdin);
  if (!terminal) {
    std::fprintf(stderr, "%s\n", render_message({form_of(ConsoleMessage::NoKeyboard)}).c_str());
    return 1;
  }
  const ConsoleOutput console{stdout, isatty(STDOUT_FILENO) != 0};
  return run_console_loop(*terminal, stdout,
                          [&console](NameBuffer& name) { process_model_file(name, console); });
}
