#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "io/utf8.h"
#include "mesh/mesh.h"
#include "model/block_directory.h"
#include "model/block_kinds.h"
#include "model/unit_reader.h"

namespace model_unpack {

namespace {

// Element sizes as the table of block kinds gives them.
constexpr std::uint32_t element_size(std::string_view name) {
  return block_kind(name)->element_size;
}
constexpr std::uint32_t kPositionTriSize = element_size("position_tris");
constexpr std::uint32_t kFloatTripleSize = element_size("positions");
static_assert(element_size("normals") == kFloatTripleSize);

// A block's elements present whole in the file: at most its count word, and only as many as
// fit between its first element and the end of the file.
struct BlockSpan {
  std::uint64_t first_element = 0;
  std::uint32_t declared = 0;
  std::uint32_t present = 0;
};

std::optional<BlockSpan> locate(BlockDirectory& directory, ModelFile& model, std::string_view name,
                                std::uint32_t element_size, std::vector<std::string>& warnings) {
  const BlockRecord* record = find_block(directory, name);
  if (record == nullptr) return std::nullopt;
  BlockSpan span;
  span.first_element = std::uint64_t{record->block_offset} + 4;
  unsigned char count[4];
  model.seek(record->block_offset);
  if (model.read(count, 4) < 4) {
    warnings.push_back(std::string(name) + ": the block lies past the end of the file");
    return span;
  }
  span.declared = load_u32(count);
  const std::uint64_t room = model.size() - span.first_element;
  span.present =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(span.declared, room / element_size));
  if (span.present < span.declared) {
    warnings.push_back(std::string(name) + ": " + std::to_string(span.declared - span.present) +
                       " of " + std::to_string(span.declared) +
                       " elements lie past the end of the file");
  }
  return span;
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

// Reads `count` elements of `size` bytes from `offset`, handing each to `use`.
template <typename Use>
void for_each_element(ModelFile& model, std::uint64_t offset, std::uint32_t count,
                      std::uint32_t size, Use&& use) {
  model.seek(offset);
  unsigned char element[64];
  for (std::uint32_t i = 0; i < count; ++i) {
    model.read(element, size);
    use(i, element);
  }
}

void read_positions(BlockDirectory& directory, ModelFile& model, Mesh& mesh,
                    std::vector<bool>& usable) {
  const auto span = locate(directory, model, "positions", kFloatTripleSize, mesh.warnings);
  if (!span) return;
  mesh.positions.resize(span->present);
  usable.assign(span->present, true);
  std::uint32_t non_finite = 0;
  for_each_element(model, span->first_element, span->present, kFloatTripleSize,
                   [&](std::uint32_t i, const unsigned char* bytes) {
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
    mesh.warnings.push_back(count_of(non_finite, "vertex", "vertices") +
                            " with a non-finite coordinate written as 0, 0, 0");
  }
}

void read_normals(BlockDirectory& directory, ModelFile& model, Mesh& mesh) {
  const auto span = locate(directory, model, "normals", kFloatTripleSize, mesh.warnings);
  if (!span) return;
  if (span->present != mesh.positions.size()) {
    mesh.warnings.push_back("normals left out: " + count_of(span->present, "normal", "normals") +
                            " for " + count_of(mesh.positions.size(), "vertex", "vertices"));
    return;
  }
  std::vector<Vec3> normals(span->present);
  std::uint32_t unusable = 0;
  for_each_element(model, span->first_element, span->present, kFloatTripleSize,
                   [&](std::uint32_t i, const unsigned char* bytes) {
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
    mesh.warnings.push_back("normals left out: " + std::to_string(unusable) + " of them" +
                            " zero or not finite");
    return;
  }
  mesh.normals = std::move(normals);
}

// The material number of each triangle, when the numbers match the triangles one to one;
// empty otherwise.
std::vector<std::uint16_t> read_material_numbers(BlockDirectory& directory, ModelFile& model,
                                                 const BlockSpan& tris, Mesh& mesh) {
  std::vector<std::uint16_t> numbers;
  const auto mats =
      locate(directory, model, "material_tris", element_size("material_tris"), mesh.warnings);
  if (!mats) return numbers;
  if (mats->present != tris.present) {
    mesh.warnings.push_back(
        "materials left out: " + count_of(mats->present, "material number", "material numbers") +
        " for " + count_of(tris.present, "triangle", "triangles"));
    return numbers;
  }
  numbers.resize(mats->present);
  for_each_element(
      model, mats->first_element, mats->present, 2,
      [&](std::uint32_t i, const unsigned char* bytes) { numbers[i] = load_u16(bytes); });
  return numbers;
}

// The triangles that can be drawn, grouped by material number in increasing order. Two passes
// over the block, so that only the kept ones are ever held: the first counts them per number,
// the second puts each in its place. Returns where each number's group starts (one past the
// largest number: the end).
std::vector<std::uint32_t> keep_triangles(ModelFile& model, const BlockSpan& tris,
                                          const std::vector<bool>& usable,
                                          const std::vector<std::uint16_t>& numbers, Mesh& mesh) {
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
  for_each_element(model, tris.first_element, tris.present, kPositionTriSize,
                   [&](std::uint32_t i, const unsigned char* bytes) {
                     if (keep(bytes, t)) ++start[(numbers.empty() ? 0 : numbers[i]) + 1u];
                   });
  const std::pair<std::uint32_t, const char*> left_out[] = {
      {out_of_range, "an index past the last vertex"},
      {repeated, "two equal indices"},
      {non_finite, "a non-finite vertex"},
  };
  for (const auto& [count, why] : left_out) {
    if (count > 0) {
      mesh.warnings.push_back(count_of(count, "triangle", "triangles") + " left out: " + why);
    }
  }
  for (std::size_t n = 1; n < start.size(); ++n) start[n] += start[n - 1];
  if (start.back() == 0) return start;
  mesh.triangles.resize(start.back());
  std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
  for_each_element(model, tris.first_element, tris.present, kPositionTriSize,
                   [&](std::uint32_t i, const unsigned char* bytes) {
                     // The counts of left-out triangles have been told already.
                     if (keep(bytes, t))
                       mesh.triangles[next[numbers.empty() ? 0 : numbers[i]]++] = t;
                   });
  return start;
}

// One group per material number that has triangles, named by the materials block where it
// names that number.
void name_groups(BlockDirectory& directory, ModelFile& model,
                 const std::vector<std::uint32_t>& start, Mesh& mesh) {
  std::vector<std::string> names;
  if (const auto mats =
          locate(directory, model, "materials", element_size("materials"), mesh.warnings)) {
    names.resize(mats->present);
    for_each_element(model, mats->first_element, mats->present, kNameSize,
                     [&](std::uint32_t i, const unsigned char* bytes) {
                       names[i] = utf8_name(reinterpret_cast<const char*>(bytes), kNameSize);
                     });
  }
  std::uint32_t without_material = 0;
  for (std::uint32_t number = 0; number + 1 < start.size(); ++number) {
    const std::uint32_t count = start[number + 1] - start[number];
    if (count == 0) continue;
    int material = -1;
    if (number < names.size()) {
      material = static_cast<int>(mesh.materials.size());
      mesh.materials.push_back({names[number], number});
    } else {
      without_material += count;
    }
    mesh.groups.push_back({start[number], count, material});
  }
  if (without_material > 0) {
    mesh.warnings.push_back(
        count_of(without_material, "triangle", "triangles") +
        (without_material == 1
             ? " with a material number past the last material has no material"
             : " with a material number past the last material have no material"));
  }
}

// The triangles that can be drawn, with their material numbers when every triangle has one.
void read_triangles(BlockDirectory& directory, ModelFile& model, const std::vector<bool>& usable,
                    Mesh& mesh) {
  const auto tris = locate(directory, model, "position_tris", kPositionTriSize, mesh.warnings);
  if (!tris) return;
  const std::vector<std::uint16_t> numbers = read_material_numbers(directory, model, *tris, mesh);
  const std::vector<std::uint32_t> start = keep_triangles(model, *tris, usable, numbers, mesh);
  if (mesh.triangles.empty()) return;
  if (numbers.empty()) {
    mesh.groups.push_back({0, static_cast<std::uint32_t>(mesh.triangles.size()), -1});
    return;
  }
  name_groups(directory, model, start, mesh);
}

void read_bodies(BlockDirectory& directory, ModelFile& model, Mesh& mesh) {
  const BlockRecord* record = find_block(directory, "collisebodies");
  if (record == nullptr) return;
  unsigned char word[4];
  model.seek(record->block_offset);
  if (model.read(word, 4) < 4) return;
  const std::uint32_t declared = load_u32(word);
  std::uint64_t offset = std::uint64_t{record->block_offset} + 4;
  std::uint32_t non_finite = 0;
  std::uint32_t whole = 0;
  for (; whole < declared; ++whole) {
    unsigned char head[kBodyFixedSize];
    model.seek(offset);
    if (model.read(head, sizeof head) < sizeof head) break;
    const std::uint16_t groups = load_u16(head + kNameSize);
    const std::uint64_t size = kBodyFixedSize + std::uint64_t{kBodyPointGroupSize} * groups;
    if (offset + size > model.size()) break;
    CollisionBody body{utf8_name(reinterpret_cast<const char*>(head), kNameSize), {}};
    for (std::uint16_t g = 0; g < groups; ++g) {
      unsigned char bytes[kBodyPointGroupSize];
      model.read(bytes, sizeof bytes);
      const Vec3 a = load_vec3(bytes), b = load_vec3(bytes + 12), c = load_vec3(bytes + 24);
      if (!is_finite(a) || !is_finite(b) || !is_finite(c)) {
        ++non_finite;
        continue;
      }
      body.points.insert(body.points.end(), {a, b, c});
    }
    mesh.bodies.push_back(std::move(body));
    offset += size;
  }
  if (whole < declared) {
    mesh.warnings.push_back(
        "collisebodies: " + std::to_string(declared - whole) + " of " + std::to_string(declared) +
        (declared == 1 ? " body lies" : " bodies lie") + " past the end of the file");
  }
  if (non_finite > 0) {
    mesh.warnings.push_back(
        count_of(non_finite, "collision body triangle", "collision body triangles") +
        " left out: a non-finite point");
  }
}

}  // namespace

std::uint32_t Mesh::largest_index() const {
  std::uint32_t largest = 0;
  for (const auto& t : triangles) largest = std::max<std::uint32_t>({largest, t[0], t[1], t[2]});
  return largest;
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
    mesh.warnings.push_back("the file ends inside its 28-byte header, after " +
                            count_of(model.size(), "byte", "bytes"));
  }
  model.seek(kHeaderSize);
  BlockDirectory directory = read_block_directory(model);
  std::vector<bool> usable;
  read_positions(directory, model, mesh, usable);
  read_normals(directory, model, mesh);
  read_triangles(directory, model, usable, mesh);
  read_bodies(directory, model, mesh);
  return mesh;
}

}  // namespace model_unpack
