#include <sys/mman.h>

#include <cstdint>

#include "io/large_array.h"

namespace model_unpack {

void advise_huge_pages(void* block, std::size_t bytes) {
  constexpr std::uintptr_t kHugePage = std::uintptr_t{1} << 21;
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t end = (start + bytes) & ~(kHugePage - 1);
#ifdef MADV_HUGEPAGE  // Linux's
  // Only advice: where the system gives no huge pages, the block is as good as before.
  if (first < end)
    static_cast<void>(madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE));
#endif
}

}  // namespace model_unpack
