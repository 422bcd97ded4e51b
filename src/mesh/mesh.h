// The mesh a model file holds, as far as the file holds it whole: what goes into the glb and
// the preview picture. Nothing is padded or repeated; what cannot be used is left out and said.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "io/buffered_file.h"
#include "io/large_array.h"
#include "io/message.h"

namespace model_unpack {

using Vec3 = std::array<float, 3>;

// What reading the mesh can find wrong, as the catalogue states it.
enum class MeshMessage {
  BlockPastEnd,
  ElementsPastEnd,
  NonFiniteVertices,
  NormalsCountDiffers,
  NormalsUnusable,
  MaterialsCountDiffers,
  TrianglesPastLastVertex,
  TrianglesRepeatingIndex,
  TrianglesOnNonFiniteVertex,
  TrianglesWithoutMaterial,
  UnnamedGroupsMerged,
  BodiesPastEnd,
  NonFiniteBodyTriangles,
  HeaderCutShort,
};
inline constexpr std::array<MessageForm, 14> kMeshMessages{{
    {"block_past_end", Severity::Warning,
     "Warning: {block}: the block lies past the end of the file"},
    {"elements_past_end", Severity::Warning,
     "Warning: {block}: {missing} of {declared} elements lie past the end of the file"},
    {"non_finite_vertices", Severity::Warning,
     "Warning: {vertices:vertex|vertices} with a non-finite coordinate written as 0, 0, 0"},
    {"normals_count_differs", Severity::Warning,
     "Warning: normals left out: {normals:normal|normals} for {vertices:vertex|vertices}"},
    {"normals_unusable", Severity::Warning,
     "Warning: normals left out: {unusable} of them zero or not finite"},
    {"materials_count_differs", Severity::Warning,
     "Warning: materials left out: {numbers:material number|material numbers} for "
     "{triangles:triangle|triangles}"},
    {"triangles_past_last_vertex", Severity::Warning,
     "Warning: {triangles:triangle|triangles} left out: an index past the last vertex"},
    {"triangles_repeating_index", Severity::Warning,
     "Warning: {triangles:triangle|triangles} left out: two equal indices"},
    {"triangles_on_non_finite_vertex", Severity::Warning,
     "Warning: {triangles:triangle|triangles} left out: a non-finite vertex"},
    {"triangles_without_material", Severity::Warning,
     "Warning: {triangles:triangle|triangles} with a material number past the last material "
     "{triangles?has|have} no material"},
    {"unnamed_groups_merged", Severity::Warning,
     "Warning: {numbers} material numbers past the last material share one group"},
    {"bodies_past_end", Severity::Warning,
     "Warning: collisebodies: {missing} of {declared} {declared?body lies|bodies lie} past the "
     "end of the file"},
    {"non_finite_body_triangles", Severity::Warning,
     "Warning: {triangles:collision body triangle|collision body triangles} left out: a "
     "non-finite point"},
    {"header_cut_short", Severity::Warning,
     "Warning: the file ends inside its 28-byte header, after {bytes:byte|bytes}"},
}};
constexpr const MessageForm& form_of(MeshMessage kind) {
  return kMeshMessages[static_cast<std::size_t>(kind)];
}

struct CollisionBody {
  std::string name;          // valid UTF-8
  std::vector<Vec3> points;  // the kept triangles, three points each
};

struct Mesh {
  LargeArray<Vec3> positions;  // non-finite vertices as 0, 0, 0
  LargeArray<Vec3> normals;    // unit length, one per vertex; empty when unusable
  // The kept triangles, grouped by material number in increasing order.
  LargeArray<std::array<std::uint16_t, 3>> triangles;
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
  std::vector<Message> warnings;

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
