// The mesh as a binary glTF 2.0 file.
#pragma once

#include <string_view>

#include "io/buffered_file.h"
#include "mesh/mesh.h"

namespace model_unpack {

// Writes the whole glb into `out` (not closed). `generator` goes into asset.generator.
void write_glb(const Mesh& mesh, std::string_view generator, OutputFile& out);

// The fixed palette, by material number: linear RGB in 0..1.
Vec3 palette_colour(std::uint32_t number);

}  // namespace model_unpack
