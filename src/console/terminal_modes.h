// The terminal's modes as the whole process keeps them: the original one and keyboard mode
// (single unechoed keys), and the signal handlers that give the original back on every way
// out (a fatal signal, Ctrl-Z, a terminate), and keyboard mode again on resuming. Process-wide
// by nature: a signal handler can reach nothing else.
#pragma once

#include <termios.h>

namespace model_unpack {

// Remembers `original` as the mode of the terminal open as `fd` and installs the handlers.
void take_over_terminal(int fd, const termios& original);

// Switches to keyboard mode, or back to the original mode (only as the terminal's foreground
// job: a tool started in the background leaves its shell's terminal alone).
void use_keyboard_mode(bool on);

// The original mode back, and the terminal forgotten.
void give_back_terminal();

}  // namespace model_unpack
