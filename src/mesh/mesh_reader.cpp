#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>

#include "io/out_of_memory.h"
#include "io/threads.h"
#include "io/utf8.h"
#include "mesh/mesh.h"
#include "model/block_directory.h"
#include "model/block_kinds.h"
#include "model/element_walk.h"
#include "model/whole_elements.h"

namespace model_unpack {

namespace {

// The kinds the mesh is read from; a name the table does not know fails to compile.
constexpr const BlockKind& kPositions = *block_kind("positions");
constexpr const BlockKind& kNormals = *block_kind("normals");
constexpr const BlockKind& kMaterialTriangles = *block_kind("material_tris");
constexpr const BlockKind& kPositionTriangles = *block_kind("position_tris");
constexpr const BlockKind& kMaterials = *block_kind("materials");
constexpr const BlockKind& kCollisionBodies = *block_kind("collisebodies");

// A block's elements present whole in the file, and a warning for those that are not.
std::optional<WholeBlock> locate(BlockDirectory& directory, ModelFile& model, const BlockKind& kind,
                                 std::vector<Message>& warnings) {
  const BlockRecord* record = find_block(directory, kind.name);
  if (record == nullptr) return std::nullopt;
  const std::string_view name = kind.name;
  const WholeBlock block = whole_block(kind, *record, model);
  if (!block.count_read) {
    warnings.push_back({form_of(MeshMessage::BlockPastEnd), {{"block", std::string(name)}}});
  } else if (block.present < block.declared) {
    warnings.push_back({form_of(MeshMessage::ElementsPastEnd),
                        {{"block", std::string(name)},
                         {"missing", block.declared - block.present},
                         {"declared", block.declared}}});
  }
  return block;
}

Vec3 load_vec3(const unsigned char* bytes) {
  Vec3 value;
  for (int i = 0; i < 3; ++i) {
    const std::uint32_t bits = load_u32(bytes + 4 * i);
    std::memcpy(&value[i], &bits, 4);
  }
  return value;
}

bool is_finite(const Vec3& v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// Hands each element of a block without a tail to `use(index, bytes)`.
template <typename Use>
void for_each_element(ModelFile& model, const BlockKind& kind, const WholeBlock& block, Use&& use) {
  walk_whole_elements(model, block, kind.layout, use, [](const unsigned char*) {});
}

void read_positions(BlockDirectory& directory, ModelFile& model, Mesh& mesh,
                    std::vector<bool>& usable) {
  const auto span = locate(directory, model, kPositions, mesh.warnings);
  if (!span) return;
  mesh.positions.resize(span->present);
  usable.assign(span->present, true);
  std::uint32_t non_finite = 0;
  for_each_element(model, kPositions, *span, [&](std::uint32_t i, const unsigned char* bytes) {
    const Vec3 v = load_vec3(bytes);
    if (is_finite(v)) {
      mesh.positions[i] = v;
    } else {
      mesh.positions[i] = {0, 0, 0};
      usable[i] = false;
      ++non_finite;
    }
  });
  if (non_finite > 0) {
    mesh.warnings.push_back({form_of(MeshMessage::NonFiniteVertices), {{"vertices", non_finite}}});
  }
}

// The normals, one per vertex of `vertices`; none when they cannot all be used.
LargeArray<Vec3> read_normals(BlockDirectory& directory, ModelFile& model, std::uint32_t vertices,
                              std::vector<Message>& warnings) {
  const auto span = locate(directory, model, kNormals, warnings);
  if (!span) return {};
  if (span->present != vertices) {
    warnings.push_back({form_of(MeshMessage::NormalsCountDiffers),
                        {{"normals", span->present}, {"vertices", vertices}}});
    return {};
  }
  LargeArray<Vec3> normals(span->present);
  std::uint32_t unusable = 0;
  for_each_element(model, kNormals, *span, [&](std::uint32_t i, const unsigned char* bytes) {
    const Vec3 n = load_vec3(bytes);
    const double length =
        std::sqrt(double{n[0]} * n[0] + double{n[1]} * n[1] + double{n[2]} * n[2]);
    if (!is_finite(n) || length == 0.0) {
      ++unusable;
      return;
    }
    for (int k = 0; k < 3; ++k) normals[i][k] = static_cast<float>(n[k] / length);
  });
  if (unusable > 0) {
    warnings.push_back({form_of(MeshMessage::NormalsUnusable), {{"unusable", unusable}}});
    return {};
  }
  return normals;
}

// The material number of each triangle, when the numbers match the triangles one to one;
// empty otherwise.
LargeArray<std::uint16_t> read_material_numbers(BlockDirectory& directory, ModelFile& model,
                                                const WholeBlock& tris, Mesh& mesh) {
  LargeArray<std::uint16_t> numbers;
  const auto mats = locate(directory, model, kMaterialTriangles, mesh.warnings);
  if (!mats) return numbers;
  if (mats->present != tris.present) {
    mesh.warnings.push_back({form_of(MeshMessage::MaterialsCountDiffers),
                             {{"numbers", mats->present}, {"triangles", tris.present}}});
    return numbers;
  }
  numbers.resize(mats->present);
  for_each_element(
      model, kMaterialTriangles, *mats,
      [&](std::uint32_t i, const unsigned char* bytes) { numbers[i] = load_u16(bytes); });
  return numbers;
}

// The triangles that can be drawn, grouped by material number in increasing order. Two passes
// over the block, so that only the kept ones are ever held: the first counts them per number,
// the second puts each in its place. Returns where each number's group starts (one past the
// largest number: the end).
std::vector<std::uint32_t> keep_triangles(ModelFile& model, const WholeBlock& tris,
                                          const std::vector<bool>& usable,
                                          const LargeArray<std::uint16_t>& numbers, Mesh& mesh) {
  const auto vertex_count = static_cast<std::uint32_t>(mesh.positions.size());
  const std::uint32_t largest_number =
      numbers.empty() ? 0 : *std::max_element(numbers.begin(), numbers.end());
  std::vector<std::uint32_t> start(largest_number + 2, 0);
  std::uint32_t out_of_range = 0, repeated = 0, non_finite = 0;
  auto keep = [&](const unsigned char* bytes, std::array<std::uint16_t, 3>& t) {
    t = {load_u16(bytes), load_u16(bytes + 2), load_u16(bytes + 4)};
    if (t[0] >= vertex_count || t[1] >= vertex_count || t[2] >= vertex_count) {
      ++out_of_range;
    } else if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) {
      ++repeated;
    } else if (!usable[t[0]] || !usable[t[1]] || !usable[t[2]]) {
      ++non_finite;
    } else {
      return true;
    }
    return false;
  };
  std::array<std::uint16_t, 3> t{};
  for_each_element(model, kPositionTriangles, tris,
                   [&](std::uint32_t i, const unsigned char* bytes) {
                     if (keep(bytes, t)) ++start[(numbers.empty() ? 0 : numbers[i]) + 1u];
                   });
  const std::pair<std::uint32_t, MeshMessage> left_out[] = {
      {out_of_range, MeshMessage::TrianglesPastLastVertex},
      {repeated, MeshMessage::TrianglesRepeatingIndex},
      {non_finite, MeshMessage::TrianglesOnNonFiniteVertex},
  };
  for (const auto& [count, why] : left_out) {
    if (count > 0) mesh.warnings.push_back({form_of(why), {{"triangles", count}}});
  }
  for (std::size_t n = 1; n < start.size(); ++n) start[n] += start[n - 1];
  if (start.back() == 0) return start;
  mesh.triangles.resize(start.back());
  std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
  for_each_element(model, kPositionTriangles, tris,
                   [&](std::uint32_t i, const unsigned char* bytes) {
                     // The counts of left-out triangles have been told already.
                     if (keep(bytes, t))
                       mesh.triangles[next[numbers.empty() ? 0 : numbers[i]]++] = t;
                   });
  return start;
}

// Past this many material numbers that the materials block does not name, their triangles
// share one group: each group costs the glb some 200 bytes of description, where a triangle
// and its material number cost the model 8.
constexpr std::size_t kMostUnnamedGroups = 1024;

// The triangles of the unnamed material numbers, moved behind the named ones in one group.
void merge_unnamed_groups(Mesh& mesh) {
  LargeArray<std::array<std::uint16_t, 3>> triangles;
  triangles.reserve(mesh.triangles.size());
  const auto take = [&](const Mesh::Group& group) {
    const auto first = mesh.triangles.begin() + group.first;
    triangles.insert(triangles.end(), first, first + group.count);
  };
  std::vector<Mesh::Group> groups;
  for (const Mesh::Group& group : mesh.groups) {
    if (group.material < 0) continue;
    groups.push_back({static_cast<std::uint32_t>(triangles.size()), group.count, group.material});
    take(group);
  }
  const auto unnamed = static_cast<std::uint32_t>(triangles.size());
  for (const Mesh::Group& group : mesh.groups) {
    if (group.material < 0) take(group);
  }
  groups.push_back({unnamed, static_cast<std::uint32_t>(triangles.size()) - unnamed, -1});
  mesh.triangles = std::move(triangles);
  mesh.groups = std::move(groups);
}

std::vector<std::string> material_names(BlockDirectory& directory, ModelFile& model, Mesh& mesh) {
  std::vector<std::string> names;
  if (const auto mats = locate(directory, model, kMaterials, mesh.warnings)) {
    names.resize(mats->present);
    for_each_element(model, kMaterials, *mats, [&](std::uint32_t i, const unsigned char* bytes) {
      names[i] = utf8_name(reinterpret_cast<const char*>(bytes), kNameSize);
    });
  }
  return names;
}

// One group per material number that has triangles, named by the materials block where it
// names that number.
void name_groups(BlockDirectory& directory, ModelFile& model,
                 const std::vector<std::uint32_t>& start, Mesh& mesh) {
  const std::vector<std::string> names = material_names(directory, model, mesh);
  std::uint32_t without_material = 0;
  std::size_t unnamed_groups = 0;
  for (std::uint32_t number = 0; number + 1 < start.size(); ++number) {
    const std::uint32_t count = start[number + 1] - start[number];
    if (count == 0) continue;
    int material = -1;
    if (number < names.size()) {
      material = static_cast<int>(mesh.materials.size());
      mesh.materials.push_back({names[number], number});
    } else {
      without_material += count;
      ++unnamed_groups;
    }
    mesh.groups.push_back({start[number], count, material});
  }
  if (without_material > 0) {
    mesh.warnings.push_back(
        {form_of(MeshMessage::TrianglesWithoutMaterial), {{"triangles", without_material}}});
  }
  if (unnamed_groups > kMostUnnamedGroups) {
    merge_unnamed_groups(mesh);
    mesh.warnings.push_back(
        {form_of(MeshMessage::UnnamedGroupsMerged), {{"numbers", unnamed_groups}}});
  }
}

// The triangles that can be drawn, with their material numbers when every triangle has one.
void read_triangles(BlockDirectory& directory, ModelFile& model, const std::vector<bool>& usable,
                    Mesh& mesh) {
  const auto tris = locate(directory, model, kPositionTriangles, mesh.warnings);
  if (!tris) return;
  const LargeArray<std::uint16_t> numbers = read_material_numbers(directory, model, *tris, mesh);
  const std::vector<std::uint32_t> start = keep_triangles(model, *tris, usable, numbers, mesh);
  if (mesh.triangles.empty()) return;
  if (numbers.empty()) {
    mesh.groups.push_back({0, static_cast<std::uint32_t>(mesh.triangles.size()), -1});
    return;
  }
  name_groups(directory, model, start, mesh);
}

// How many vertices the positions block holds whole, without a word of warning.
std::uint32_t vertex_count(BlockDirectory& directory, ModelFile& model) {
  const BlockRecord* record = find_block(directory, kPositions.name);
  return record == nullptr ? 0 : whole_block(kPositions, *record, model).present;
}

// The normals and the rest at once, the normals on a reader of their own (on a thread where one
// can be had): they need only the count of vertices. Their warnings come before the
// triangles', as when they were read in turn.
void read_vertices_and_triangles(BlockDirectory& directory, ModelFile& model, Mesh& mesh) {
  const std::uint32_t vertices = vertex_count(directory, model);
  std::vector<Message> normal_warnings;
  LargeArray<Vec3> normals;
  std::exception_ptr failure;
  const std::unique_ptr<ModelFile> reader = model.another_reader();
  const auto read = [&] {
    keeping_failure([&] { normals = read_normals(directory, *reader, vertices, normal_warnings); },
                    failure);
  };
  std::size_t normals_place = 0;
  {
    WorkerThread worker;
    const bool at_once = worker.start(read);
    std::vector<bool> usable;
    read_positions(directory, model, mesh, usable);
    normals_place = mesh.warnings.size();
    if (!at_once) read();
    read_triangles(directory, model, usable, mesh);
  }
  raise_kept(failure);
  mesh.warnings.insert(mesh.warnings.begin() + static_cast<std::ptrdiff_t>(normals_place),
                       normal_warnings.begin(), normal_warnings.end());
  mesh.normals = std::move(normals);
}

void read_bodies(BlockDirectory& directory, ModelFile& model, Mesh& mesh) {
  const BlockRecord* record = find_block(directory, kCollisionBodies.name);
  if (record == nullptr) return;
  const BlockKind& kind = kCollisionBodies;
  const WholeBlock block = whole_block(kind, *record, model);
  if (!block.count_read) return;
  std::uint32_t non_finite = 0;
  const std::uint32_t whole = walk_whole_elements(
      model, block, kind.layout,
      [&](std::uint32_t, const unsigned char* bytes) {
        mesh.bodies.push_back({utf8_name(reinterpret_cast<const char*>(bytes), kNameSize), {}});
      },
      [&](const unsigned char* bytes) {
        const Vec3 a = load_vec3(bytes), b = load_vec3(bytes + 12), c = load_vec3(bytes + 24);
        if (!is_finite(a) || !is_finite(b) || !is_finite(c)) {
          ++non_finite;
          return;
        }
        mesh.bodies.back().points.insert(mesh.bodies.back().points.end(), {a, b, c});
      });
  const std::uint32_t declared = block.declared;
  if (whole < declared) {
    mesh.warnings.push_back({form_of(MeshMessage::BodiesPastEnd),
                             {{"missing", declared - whole}, {"declared", declared}}});
  }
  if (non_finite > 0) {
    mesh.warnings.push_back(
        {form_of(MeshMessage::NonFiniteBodyTriangles), {{"triangles", non_finite}}});
  }
}

}  // namespace

std::uint32_t Mesh::largest_index() const {
  // A largest per corner: one alone waits on each comparison before the next.
  std::uint16_t largest[3] = {0, 0, 0};
  for (const auto& t : triangles) {
    for (int k = 0; k < 3; ++k) largest[k] = std::max(largest[k], t[k]);
  }
  return std::max({largest[0], largest[1], largest[2]});
}

std::string count_of(std::uint64_t count, std::string_view singular, std::string_view plural) {
  return std::to_string(count) + " " + std::string(count == 1 ? singular : plural);
}

std::uint64_t Mesh::body_triangle_count() const {
  std::uint64_t count = 0;
  for (const CollisionBody& body : bodies) count += body.points.size() / 3;
  return count;
}

std::string utf8_name(const char* bytes, std::size_t size) {
  const std::string_view text(bytes, strnlen(bytes, size));
  std::string name;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = byte < 0x80 ? 1 : utf8_sequence_length(text.substr(i));
    if (length == 0) {
      name += "\xEF\xBF\xBD";
      ++i;
    } else {
      name += text.substr(i, length);
      i += length;
    }
  }
  return name;
}

Mesh read_mesh(ModelFile& model) {
  Mesh mesh;
  if (model.size() < kHeaderSize) {
    mesh.warnings.push_back({form_of(MeshMessage::HeaderCutShort), {{"bytes", model.size()}}});
  }
  model.seek(kHeaderSize);
  BlockDirectory directory = read_block_directory(model);
  read_vertices_and_triangles(directory, model, mesh);
  read_bodies(directory, model, mesh);
  return mesh;
}

}  // namespace model_unpack
