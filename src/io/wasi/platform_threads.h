// No threads (WebAssembly for WASI): the same code compiles, no second thread ever starts, so
// every caller does the work itself, and the locks, which then guard nothing, cost nothing.
#pragma once

namespace model_unpack {

inline constexpr bool kHaveThreads = false;

struct Mutex {
  void lock() {}
  void unlock() {}
};
struct SharedMutex : Mutex {};
template <typename M>
struct UniqueLock {
  explicit UniqueLock(M&) {}
  void lock() {}
  void unlock() {}
};
template <typename M>
struct SharedLock {
  explicit SharedLock(M&) {}
};
// With one thread, whatever is waited for has already happened.
struct ConditionVariable {
  void notify_all() {}
  template <typename Lock, typename Ready>
  void wait(Lock&, Ready) {}
};
struct ThreadHandle {};
struct WatcherHandle {};

}  // namespace model_unpack
