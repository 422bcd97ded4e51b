// The folder a program was started from, where the platform does not say it by itself.
#pragma once

#include <cstdlib>

#if defined(__wasi__)
#include <unistd.h>
#endif

namespace model_unpack {

// A WASI program starts in "/" whatever folder it was started from; its launcher names that
// folder in PWD, so that relative names mean what they mean to the user.
inline void enter_starting_folder() {
#if defined(__wasi__)
  if (const char* folder = std::getenv("PWD"); folder != nullptr && folder[0] == '/')
    (void)chdir(folder);
#endif
}

}  // namespace model_unpack
