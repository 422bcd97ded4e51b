// Threads where the platform has them (io/PLATFORM/platform_threads.h says which, and how a
// build without them still compiles the same code).
#pragma once

#include <functional>
#include <string>

#include "platform_threads.h"  // the platform's own: Mutex, ConditionVariable, kHaveThreads ...

namespace model_unpack {

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
  [[maybe_unused]] ThreadHandle thread_;  // none where there are no threads
};

// How many jobs can usefully run at once: the cores, 1 without threads.
unsigned hardware_threads();

// Lets other threads run for about a millisecond.
void pause_briefly();

}  // namespace model_unpack
