// Threads on a POSIX system: the standard library's, and the watcher's pthread handle (it is
// woken by a signal sent to it).
#pragma once

#include <pthread.h>

#include "io/std_threads.h"

namespace model_unpack {

using WatcherHandle = pthread_t;

}  // namespace model_unpack
