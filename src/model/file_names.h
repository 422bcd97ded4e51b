// Model file and info file names derived from the typed name.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace model_unpack {

inline constexpr std::size_t kNameBufferSize = 256;
using NameBuffer = std::array<char, kNameBufferSize>;

inline constexpr std::string_view kDefaultExtension = ".zmdl";

// Whether a typed word fits the name buffer, room for the default extension included.
bool name_fits_buffer(std::string_view word);

// A name without any dot gets ".zmdl". The name must fit (name_fits_buffer).
void add_default_extension(NameBuffer& name);

// The model file name up to its first dot (searched in the first 250 characters), then "txt".
NameBuffer derive_info_file_name(const NameBuffer& model_name);

}  // namespace model_unpack
