// A job that runs out of memory stops where it is and says so, instead of ending the process.
// Where the build has no exceptions (WebAssembly), a failed allocation ends the module, as it
// must: nothing can be caught there.
#pragma once

#include <new>

namespace model_unpack {

// Runs `work`; when an allocation fails in it, runs `instead`.
template <typename Work, typename Instead>
void unless_out_of_memory(Work&& work, Instead&& instead) {
#if defined(__cpp_exceptions)
  try {
    work();
  } catch (const std::bad_alloc&) {
    instead();
  }
#else
  static_cast<void>(instead);
  work();
#endif
}

}  // namespace model_unpack
