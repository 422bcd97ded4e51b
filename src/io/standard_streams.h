// Descriptors 0, 1 and 2 as a program may take them for granted.
#pragma once

#include <fcntl.h>

#include <cerrno>

namespace model_unpack {

// Opens each of descriptors 0, 1 and 2 that was closed on /dev/null, before anything else opens
// a file: otherwise the first file opened would become standard output, and console lines
// would land in it. Read-only, so that a write to a closed standard output still fails and is
// reported as a write error.
inline void open_closed_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      if (open("/dev/null", O_RDONLY) != fd) return;  // nothing more can be done
    }
  }
}

}  // namespace model_unpack
