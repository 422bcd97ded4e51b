#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "io/process_start.h"

namespace model_unpack {

void open_closed_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (_get_osfhandle(fd) == -1) {
      if (_open("NUL", _O_RDONLY) != fd) return;  // nothing more can be done
    }
  }
}

void keep_freed_memory_for_reuse() {}

namespace {

// The console's code pages as the tool found them; 0 until it changed them.
std::atomic<UINT> the_output_page{0};
std::atomic<UINT> the_input_page{0};

BOOL WINAPI restore_on_console_event(DWORD) {
  restore_console();
  return FALSE;  // the event goes on to the next handler, or ends the process as usual
}

}  // namespace

// The console is shared with the shell: what the tool changes there, it gives back on every
// way out (a return from main, an exit, a console event).
void use_utf8_console() {
  the_output_page = GetConsoleOutputCP();
  the_input_page = GetConsoleCP();
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
  std::atexit(restore_console);
  SetConsoleCtrlHandler(restore_on_console_event, TRUE);
}

void restore_console() {
  if (const UINT page = the_output_page.load(); page != 0) SetConsoleOutputCP(page);
  if (const UINT page = the_input_page.load(); page != 0) SetConsoleCP(page);
}

void enter_starting_folder() {}

}  // namespace model_unpack
