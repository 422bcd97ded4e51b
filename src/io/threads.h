// Threads where the platform has them. A build without them (WebAssembly for WASI) compiles
// the same code: no second thread ever starts, so every caller does the work itself, and the
// locks, which then guard nothing, cost nothing.
#pragma once

#include <functional>
#include <string>

#if defined(__wasi__)
#define MODEL_UNPACK_THREADS 0
#else
#define MODEL_UNPACK_THREADS 1
#include <condition_variable>
#include <mutex>
#include <shared_mutex>
#include <thread>
#endif

namespace model_unpack {

#if MODEL_UNPACK_THREADS
using Mutex = std::mutex;
using SharedMutex = std::shared_mutex;
using ConditionVariable = std::condition_variable;
template <typename M>
using UniqueLock = std::unique_lock<M>;
template <typename M>
using SharedLock = std::shared_lock<M>;
#else
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
#endif

// A second thread of work, joined when it ends.
class WorkerThread {
 public:
  WorkerThread() = default;
  WorkerThread(WorkerThread&&) = default;
  // A running thread is joined before another takes its place.
  WorkerThread& operator=(WorkerThread&& other) noexcept;
  ~WorkerThread() { join(); }

  // Runs `work` on a thread of its own; false, with nothing started and the reason in `why`,
  // when no thread can be had.
  [[nodiscard]] bool start(std::function<void()> work, std::string* why = nullptr);
  void join();

 private:
#if MODEL_UNPACK_THREADS
  std::thread thread_;
#endif
};

// How many jobs can usefully run at once: the cores, 1 without threads.
unsigned hardware_threads();

// Lets other threads run for about a millisecond.
void pause_briefly();

}  // namespace model_unpack
