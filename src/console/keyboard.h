// The console keyboard of the platform the tool runs on.
#pragma once

#include <cstdio>
#include <memory>

#include "console/console_loop.h"

namespace model_unpack {

// Null when there is no console keyboard. Names are read from `name_input` (the keyboard's own
// queue when that is the keyboard). The console's modes are restored on every way out.
std::unique_ptr<ConsolePlatform> open_console_keyboard(std::FILE* name_input);

}  // namespace model_unpack
