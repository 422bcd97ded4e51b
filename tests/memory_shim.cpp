// Preloaded into a tool by the tests to make large allocations fail, as a tight memory limit
// would (ulimit -v), at the allocation that asks for too much:
//   SHIM_NO_MEMORY_OVER=N  malloc, calloc and realloc fail for more than N bytes
// Not for sanitizer builds, whose allocator it would replace.
#include <cerrno>
#include <cstddef>
#include <cstdlib>

extern "C" {

// glibc's own allocator, which these hand on to.
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
}

namespace {

bool refused(std::size_t size) {
  const char* limit = std::getenv("SHIM_NO_MEMORY_OVER");
  if (limit == nullptr || size <= static_cast<std::size_t>(std::atoll(limit))) return false;
  errno = ENOMEM;
  return true;
}

}  // namespace

extern "C" {

void* malloc(std::size_t size) {
  return refused(size) ? nullptr : __libc_malloc(size);
}

// A compiler may turn a malloc that is then cleared into a calloc.
void* calloc(std::size_t count, std::size_t size) {
  return refused(count * size) ? nullptr : __libc_calloc(count, size);
}

void* realloc(void* block, std::size_t size) {
  return refused(size) ? nullptr : __libc_realloc(block, size);
}
}
