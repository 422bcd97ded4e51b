#include <fcntl.h>
#include <malloc.h>

#include <cerrno>

#include "io/process_start.h"

namespace model_unpack {

void open_closed_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      if (open("/dev/null", O_RDONLY) != fd) return;  // nothing more can be done
    }
  }
}

void keep_freed_memory_for_reuse() {
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
}

void use_utf8_console() {}

void restore_console() {}

void enter_starting_folder() {}

}  // namespace model_unpack
