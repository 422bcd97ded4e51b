// The name the user types at the console's prompt: the buffer it is read into, and the job it
// starts.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "io/console_output.h"
#include "job/file_names.h"

namespace model_unpack {

inline constexpr std::size_t kNameBufferSize = kTypedNameSpace;
using NameBuffer = std::array<char, kNameBufferSize>;

// Whether a typed word fits the name buffer, room for the default extension included.
bool name_fits_buffer(std::string_view word);

// The console's job: the typed name in the name buffer, export files in the current directory.
void process_model_file(const NameBuffer& typed_name, const ConsoleOutput& console);

}  // namespace model_unpack
