#include <fcntl.h>
#include <io.h>
#include <windows.h>

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

void use_utf8_console() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

void enter_starting_folder() {}

}  // namespace model_unpack
