// Descriptors 0, 1 and 2 as a program may take them for granted.
#pragma once

#include <fcntl.h>

#include <cerrno>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#endif

namespace model_unpack {

// Opens each of descriptors 0, 1 and 2 that was closed on the null device, before anything else
// opens a file: otherwise the first file opened would become standard output, and console
// lines would land in it. Read-only, so that a write to a closed standard output still fails
// and is reported as a write error.
inline void open_closed_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
#if defined(_WIN32)
    if (_get_osfhandle(fd) == -1) {
      if (_open("NUL", _O_RDONLY) != fd) return;
    }
#else
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      if (open("/dev/null", O_RDONLY) != fd) return;  // nothing more can be done
    }
#endif
  }
}

// The console shows the tool's UTF-8 text as UTF-8 (Windows; elsewhere it does already).
inline void use_utf8_console() {
#if defined(_WIN32)
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
#endif
}

}  // namespace model_unpack
