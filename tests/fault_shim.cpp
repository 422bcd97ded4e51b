// Preloaded into the batch tool by its tests to make the system fail or interrupt at one
// chosen moment, set by the environment:
//   SHIM_THREADS=N         pthread_create fails once N threads have started
//   SHIM_TRUNCATE_LOG=FILE each file opened with O_TRUNC or O_CREAT is named on a line of FILE
//   SHIM_SIGNAL_ON_RENAME=S  the first renameat sends the process signal S
//   SHIM_SIGNAL_AFTER_JOIN=S pthread_join sends the process signal S once it has joined
//   SHIM_SIGNAL_ON_CREATE=S:TEXT  the first file created whose name holds TEXT sends signal S
//   SHIM_EIO_PAST=N        pread fails with EIO for any byte at or past offset N
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int setting(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? -1 : std::atoi(value);
}

template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

std::atomic<int> threads_started{0};
std::atomic<bool> renamed{false};

void log_truncation(const char* name, int flags) {
  const char* log = std::getenv("SHIM_TRUNCATE_LOG");
  if (log == nullptr || (flags & (O_TRUNC | O_CREAT)) == 0) return;
  using Open = int (*)(const char*, int, ...);
  const int fd = next<Open>("open")(log, O_WRONLY | O_APPEND | O_CREAT, 0600);
  if (fd < 0) return;
  char line[4096];
  const int length = std::snprintf(line, sizeof line, "%s\n", name);
  if (write(fd, line, static_cast<std::size_t>(length)) < 0) {
  }
  close(fd);
}

std::atomic<bool> signalled_on_create{false};

void signal_on_create(const char* name, int flags) {
  const char* setting = std::getenv("SHIM_SIGNAL_ON_CREATE");
  if (setting == nullptr || (flags & O_CREAT) == 0) return;
  const char* text = std::strchr(setting, ':');
  if (text == nullptr || std::strstr(name, text + 1) == nullptr) return;
  if (!signalled_on_create.exchange(true)) kill(getpid(), std::atoi(setting));
}

}  // namespace

extern "C" {

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                   void* argument) {
  const int limit = setting("SHIM_THREADS");
  if (limit >= 0 && threads_started >= limit) return EAGAIN;
  ++threads_started;
  using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  return next<Create>("pthread_create")(thread, attributes, start, argument);
}

int pthread_join(pthread_t thread, void** result) {
  using Join = int (*)(pthread_t, void**);
  const int status = next<Join>("pthread_join")(thread, result);
  const int signal = setting("SHIM_SIGNAL_AFTER_JOIN");
  if (signal > 0) kill(getpid(), signal);
  return status;
}

int openat(int directory, const char* name, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = va_arg(arguments, mode_t);
  va_end(arguments);
  log_truncation(name, flags);
  using OpenAt = int (*)(int, const char*, int, ...);
  const int fd = next<OpenAt>("openat")(directory, name, flags, mode);
  signal_on_create(name, flags);
  return fd;
}

ssize_t pread64(int fd, void* buffer, size_t count, off_t offset) {
  const char* past = std::getenv("SHIM_EIO_PAST");
  if (past != nullptr && offset + static_cast<off_t>(count) > std::atoll(past)) {
    errno = EIO;
    return -1;
  }
  using PRead = ssize_t (*)(int, void*, size_t, off_t);
  return next<PRead>("pread64")(fd, buffer, count, offset);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
  return pread64(fd, buffer, count, offset);
}

int renameat(int from_directory, const char* from, int to_directory, const char* to) {
  using RenameAt = int (*)(int, const char*, int, const char*);
  const int status = next<RenameAt>("renameat")(from_directory, from, to_directory, to);
  const int signal = setting("SHIM_SIGNAL_ON_RENAME");
  if (signal > 0 && !renamed.exchange(true)) kill(getpid(), signal);
  return status;
}
}
