// Paths as the kernel resolves them. Linux resolves a path's links and ".." itself, one
// component after another; WASI runtimes fold ".." by spelling first ("lnk/.." is "." even
// where lnk leads elsewhere). There the folder part of a path is resolved here, as Linux would.
#pragma once

#include <optional>
#include <string>

namespace model_unpack {

// The absolute path of the folder `path`, its links and "." and ".." resolved one component
// after another; nothing when a component is missing or links loop.
std::optional<std::string> resolve_physically(const std::string& path);

// `name` with its folder part resolved so (WASI), or as it is (elsewhere).
std::string physical_name(const char* name);

}  // namespace model_unpack
