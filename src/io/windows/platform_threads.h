// Threads on Windows: the standard library's; the console's events need no watcher handle.
#pragma once

#include "io/std_threads.h"

namespace model_unpack {

struct WatcherHandle {};

}  // namespace model_unpack
