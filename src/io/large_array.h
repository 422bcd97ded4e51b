// Arrays of millions of elements that are made once and then filled: where the system has huge
// pages, their memory is asked for in those (each first touch of a 4 KB page is a fault to the
// kernel, and a large model's mesh is thousands of them; a 2 MB page is one for 512).
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace model_unpack {

// Asks that the whole 2 MB pages within the block be huge; nothing where the platform has no
// such advice.
void advise_huge_pages(void* block, std::size_t bytes);

// Allocates as std::allocator does (so a failure is the usual out-of-memory), advising huge
// pages for large blocks. An element made without a value is left as it comes, not zeroed:
// each array is written whole after it is sized, and zeroing it first doubled the touching.
template <typename T>
struct LargeArrayAllocator {
  using value_type = T;
  static constexpr std::size_t kLarge = std::size_t{1} << 21;

  LargeArrayAllocator() = default;
  template <typename U>
  LargeArrayAllocator(const LargeArrayAllocator<U>&) {}

  T* allocate(std::size_t count) {
    T* block = std::allocator<T>{}.allocate(count);
    if (count * sizeof(T) >= kLarge) advise_huge_pages(block, count * sizeof(T));
    return block;
  }
  void deallocate(T* block, std::size_t count) { std::allocator<T>{}.deallocate(block, count); }

  template <typename U>
  void construct(U* place) noexcept {
    ::new (static_cast<void*>(place)) U;
  }
  template <typename U, typename... Arguments>
  void construct(U* place, Arguments&&... arguments) {
    ::new (static_cast<void*>(place)) U(std::forward<Arguments>(arguments)...);
  }

  template <typename U>
  bool operator==(const LargeArrayAllocator<U>&) const {
    return true;
  }
};

template <typename T>
using LargeArray = std::vector<T, LargeArrayAllocator<T>>;

}  // namespace model_unpack
