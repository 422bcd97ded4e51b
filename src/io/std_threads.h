// Threads from the standard library, where the platform has them (posix and windows share
// this; each platform's platform_threads.h adds what is its own).
#pragma once

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

}  // namespace model_unpack
