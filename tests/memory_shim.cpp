// Preloaded into a tool by the tests to make large allocations fail, as a tight memory limit
// would (ulimit -v), at the allocation that asks for too much:
//   SHIM_NO_MEMORY_OVER=N  malloc fails for more than N bytes
// Not for sanitizer builds, whose allocator it would replace.
#include <cerrno>
#include <cstddef>
#include <cstdlib>

extern "C" {

// glibc's own allocator, which this malloc hands on to.
void* __libc_malloc(std::size_t size);

void* malloc(std::size_t size) {
  const char* limit = std::getenv("SHIM_NO_MEMORY_OVER");
  if (limit != nullptr && size > static_cast<std::size_t>(std::atoll(limit))) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_malloc(size);
}
}
