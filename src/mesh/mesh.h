// The mesh a model file holds, as far as the file holds it whole: what goes into the glb and
// the preview picture. Nothing is padded or repeated; what cannot be used is left out and said.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "io/buffered_file.h"

namespace model_unpack {

using Vec3 = std::array<float, 3>;

struct CollisionBody {
  std::string name;          // valid UTF-8
  std::vector<Vec3> points;  // the kept triangles, three points each
};

struct Mesh {
  std::vector<Vec3> positions;  // non-finite vertices as 0, 0, 0
  std::vector<Vec3> normals;    // unit length, one per vertex; empty when unusable
  // The kept triangles, grouped by material number in increasing order.
  std::vector<std::array<std::uint16_t, 3>> triangles;
  struct Group {
    std::uint32_t first;  // into triangles
    std::uint32_t count;
    int material;  // index into materials, or -1 for none
  };
  std::vector<Group> groups;
  struct Material {
    std::string name;  // valid UTF-8
    std::uint32_t number;
  };
  std::vector<Material> materials;  // the materials the groups use, in increasing number
  std::vector<CollisionBody> bodies;
  std::vector<std::string> warnings;  // one line each, without the line end

  std::uint32_t largest_index() const;
  std::uint64_t body_triangle_count() const;
};

// Reads the blocks of the mesh from the model file, each the first entry of its name.
Mesh read_mesh(ModelFile& model);

// "1 vertex", "2 vertices".
std::string count_of(std::uint64_t count, std::string_view singular, std::string_view plural);

// Bytes that are not valid UTF-8 become U+FFFD; the text ends at its first NUL.
std::string utf8_name(const char* bytes, std::size_t size);

}  // namespace model_unpack
