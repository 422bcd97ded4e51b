// The model file and info file names a job works on, derived from what the user gave.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace model_unpack {

// A typed name and its info file name live in buffers of this many bytes.
inline constexpr std::size_t kTypedNameSpace = 256;

inline constexpr std::string_view kDefaultExtension = ".zmdl";

struct JobNames {
  std::string model;
  std::string info;
};

// A name typed at the console (up to its first NUL; it must fit the buffer): without any dot
// it gets ".zmdl"; the info file name is the model file name up to its first dot, searched in
// the first 250 characters, then "txt". A dot in a directory part counts too.
JobNames derive_typed_names(std::string_view typed);

// A path from a command line: only its last component decides. Without a dot there it gets
// ".zmdl"; the info file is the directory part, the last component up to and including its
// first dot, then "txt", so it always lies beside its model. No length limit.
JobNames derive_path_names(std::string_view path);

// The last component of a model file path up to its first dot ("castle" for "a/castle.zmdl").
std::string_view path_stem(std::string_view model_path);

}  // namespace model_unpack
