#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "io/process_start.h"

namespace model_unpack {

void open_closed_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      if (open("/dev/null", O_RDONLY) != fd) return;  // nothing more can be done
    }
  }
}

void keep_freed_memory_for_reuse() {}  // the module's memory only grows

void use_utf8_console() {}

void restore_console() {}

void enter_starting_folder() {
  if (const char* folder = std::getenv("PWD"); folder != nullptr && folder[0] == '/')
    static_cast<void>(chdir(folder));
}

}  // namespace model_unpack
