// A job that runs out of memory stops where it is and says so, instead of ending the process.
// Where the build has no exceptions (WebAssembly), a failed allocation ends the module, as it
// must: nothing can be caught there.
#pragma once

#include <exception>
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

// Runs `work` for a thread that waits for it: a failure in it (an allocation) is kept in
// `failure`, to be raised again there by raise_kept().
template <typename Work>
void keeping_failure(Work&& work, std::exception_ptr& failure) {
#if defined(__cpp_exceptions)
  try {
    work();
  } catch (...) {
    failure = std::current_exception();
  }
#else
  static_cast<void>(failure);
  work();
#endif
}

inline void raise_kept(const std::exception_ptr& failure) {
#if defined(__cpp_exceptions)
  if (failure) std::rethrow_exception(failure);
#else
  static_cast<void>(failure);
#endif
}

}  // namespace model_unpack
