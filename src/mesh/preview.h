// A preview picture of the mesh: an orthographic three-quarter view, flat-shaded, depth-buffered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mesh/mesh.h"

namespace model_unpack {

struct Picture {
  std::uint32_t size = 0;                 // width and height in pixels
  std::vector<unsigned char> rgb;         // size x size x 3, rows top to bottom
  std::uint64_t triangles_not_drawn = 0;  // past the drawing budget
};

// Null-sized when the mesh has no vertex.
Picture render_preview(const Mesh& mesh, std::uint32_t size);

// The picture as PNG bytes.
std::string encode_png(const Picture& picture);

}  // namespace model_unpack
