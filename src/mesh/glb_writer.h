// The mesh as a binary glTF 2.0 file.
#pragma once

#include <cstdint>
#include <string_view>

#include "io/buffered_file.h"
#include "mesh/mesh.h"

namespace model_unpack {

// The container's length field is 32 bits: no glb may be larger.
inline constexpr std::uint64_t kGlbMaxSize = 0xFFFFFFFF;

// Writes the whole glb into `out` (not closed). `generator` goes into asset.generator. False,
// with nothing written, when the glb would be larger than `size_limit`.
bool write_glb(const Mesh& mesh, std::string_view generator, OutputFile& out,
               std::uint64_t size_limit = kGlbMaxSize);

}  // namespace model_unpack
