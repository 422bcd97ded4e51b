// Threads on a POSIX system: the standard library's, and the watcher's pthread handle (it is
// woken by a signal sent to it).
#pragma once

#include <pthread.h>

#include <condition_variable>
#include <mutex>
#include <shared_mutex>
#include <thread>

namespace model_unpack {

inline constexpr bool kHaveThreads = true;

using Mutex = std::mutex;
using SharedMutex = std::shared_mutex;
using ConditionVariable = std::condition_variable;
template <typename M>
using UniqueLock = std::unique_lock<M>;
template <typename M>
using SharedLock = std::shared_lock<M>;
using ThreadHandle = std::thread;
using WatcherHandle = pthread_t;

}  // namespace model_unpack
