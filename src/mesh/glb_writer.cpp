// The glb: a JSON chunk that describes the mesh, then a BIN chunk of its numbers. The layout of
// the BIN chunk is fixed first; the JSON is then written straight to the file in one explicit
// order (counted once before, as the chunk's length comes first), and the numbers after it.
#include "mesh/glb_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "mesh/glb_json.h"
#include "mesh/palette.h"

namespace model_unpack {

namespace {

constexpr std::uint32_t kGlbMagic = 0x46546C67;  // "glTF"
constexpr std::uint32_t kJsonChunk = 0x4E4F534A;
constexpr std::uint32_t kBinChunk = 0x004E4942;
constexpr int kFloat = 5126;
constexpr int kUnsignedShort = 5123;
constexpr int kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;

std::uint64_t padded4(std::uint64_t size) {
  return (size + 3) & ~std::uint64_t{3};
}

// A run of the BIN chunk, with the buffer view and the accessor that describe it (one each,
// under the same index).
struct Piece {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  int target = kArrayBuffer;
  int component = kFloat;
  std::uint64_t count = 0;
  std::span<const Vec3> points;  // VEC3 values, or none; with `bounded`, their min and max
  bool bounded = false;
};

// Every primitive has a material: the model's own, grey for triangles without one, one for the
// points of a model without triangles, one shared by the collision bodies.
struct Material {
  std::string name;
  Vec3 srgb;
  float alpha = 1.0f;
};

// What the document holds, fixed before anything is written. The collision bodies are not
// listed: their entries are made one at a time as they are written.
struct Document {
  std::string_view generator;
  std::vector<Material> materials;
  int no_material = -1;
  int points_material = -1;
  int body_material = -1;
  std::vector<Piece> model_pieces;  // positions, normals, then one index run per group
  int normals = -1;                 // the piece of the normals, when there are any
  std::uint64_t model_size = 0;     // of the model's pieces, each padded to 4 bytes
  std::uint64_t bodies_size = 0;
  std::size_t bodies_with_points = 0;
  bool has_model = false;

  std::size_t piece_count() const { return model_pieces.size() + bodies_with_points; }
  std::uint64_t bin_size() const { return model_size + bodies_size; }
};

void add_piece(Document& document, Piece piece) {
  piece.offset = document.model_size;
  document.model_size = padded4(piece.offset + piece.size);
  document.model_pieces.push_back(piece);
}

bool wide_indices(const Mesh& mesh) {
  // glTF forbids the largest value of an index type as an index.
  return mesh.largest_index() >= 65535;
}

void plan_materials(const Mesh& mesh, Document& document) {
  for (const Mesh::Material& named : mesh.materials) {
    document.materials.push_back({named.name, material_colour(named.number)});
  }
  if (std::any_of(mesh.groups.begin(), mesh.groups.end(),
                  [](const Mesh::Group& g) { return g.material < 0; })) {
    document.no_material = static_cast<int>(document.materials.size());
    document.materials.push_back({"no material", kNoMaterialColour});
  }
  if (mesh.triangles.empty() && !mesh.positions.empty()) {
    document.points_material = static_cast<int>(document.materials.size());
    document.materials.push_back({"points", kPointColour});
  }
  if (document.bodies_with_points > 0) {
    document.body_material = static_cast<int>(document.materials.size());
    document.materials.push_back({"collision body", kCollisionBodyColour, kCollisionBodyAlpha});
  }
}

Document plan_document(const Mesh& mesh, std::string_view generator) {
  Document document;
  document.generator = generator;
  for (const CollisionBody& body : mesh.bodies) {
    document.bodies_size += body.points.size() * sizeof(Vec3);
    document.bodies_with_points += !body.points.empty();
  }
  plan_materials(mesh, document);
  // Vertices without triangles are points; a model without vertices has no mesh.
  document.has_model = !mesh.positions.empty();
  if (!document.has_model) return document;
  add_piece(document, {0, mesh.positions.size() * sizeof(Vec3), kArrayBuffer, kFloat,
                       mesh.positions.size(), mesh.positions, true});
  if (!mesh.normals.empty()) {
    document.normals = static_cast<int>(document.model_pieces.size());
    add_piece(document, {0, mesh.normals.size() * sizeof(Vec3), kArrayBuffer, kFloat,
                         mesh.normals.size(), mesh.normals, false});
  }
  const bool wide = wide_indices(mesh);
  for (const Mesh::Group& group : mesh.groups) {
    const std::uint64_t indices = std::uint64_t{group.count} * 3;
    add_piece(document, {0,
                         indices * (wide ? 4 : 2),
                         kElementArrayBuffer,
                         wide ? kUnsignedInt : kUnsignedShort,
                         indices,
                         {},
                         false});
  }
  return document;
}

// Visits every piece in the BIN chunk's order, the bodies' after the model's.
template <typename Visit>
void for_each_piece(const Mesh& mesh, const Document& document, Visit&& visit) {
  for (const Piece& piece : document.model_pieces) visit(piece);
  std::uint64_t offset = document.model_size;
  for (const CollisionBody& body : mesh.bodies) {
    if (body.points.empty()) continue;
    const std::uint64_t size = body.points.size() * sizeof(Vec3);
    visit(Piece{offset, size, kArrayBuffer, kFloat, body.points.size(), body.points, true});
    offset += size;  // a multiple of 4: no padding between bodies
  }
}

void write_vec3(JsonWriter& json, const Vec3& v) {
  json.open_array();
  for (const float component : v) json.value(static_cast<double>(component));
  json.close_array();
}

// The "min" and "max" glTF asks of positions.
void write_bounds(JsonWriter& json, std::span<const Vec3> points) {
  Vec3 low{std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
           std::numeric_limits<float>::max()};
  Vec3 high{std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest(),
            std::numeric_limits<float>::lowest()};
  for (const Vec3& p : points) {
    for (int k = 0; k < 3; ++k) {
      low[k] = std::min(low[k], p[k]);
      high[k] = std::max(high[k], p[k]);
    }
  }
  write_vec3(json.key("max"), high);
  write_vec3(json.key("min"), low);
}

void write_accessors(const Mesh& mesh, const Document& document, JsonWriter& json) {
  json.key("accessors").open_array();
  std::uint64_t view = 0;
  for_each_piece(mesh, document, [&](const Piece& piece) {
    json.open_object().key("bufferView").value(view++);
    json.key("componentType").value(piece.component).key("count").value(piece.count);
    if (piece.bounded) write_bounds(json, piece.points);
    json.key("type").value(piece.points.empty() ? "SCALAR" : "VEC3").close_object();
  });
  json.close_array();
}

void write_views(const Mesh& mesh, const Document& document, JsonWriter& json) {
  json.key("bufferViews").open_array();
  for_each_piece(mesh, document, [&](const Piece& piece) {
    json.open_object().key("buffer").value(0).key("byteLength").value(piece.size);
    json.key("byteOffset").value(piece.offset).key("target").value(piece.target).close_object();
  });
  json.close_array();
}

void write_materials(const Document& document, JsonWriter& json) {
  json.key("materials").open_array();
  for (const Material& material : document.materials) {
    const Vec3 linear = linear_colour(material.srgb);
    json.open_object();
    if (material.alpha < 1.0f) json.key("alphaMode").value("BLEND");
    json.key("doubleSided").value(true).key("name").value(material.name);
    json.key("pbrMetallicRoughness").open_object().key("baseColorFactor").open_array();
    for (const float component : {linear[0], linear[1], linear[2], material.alpha}) {
      json.value(static_cast<double>(component));
    }
    json.close_array().key("metallicFactor").value(0.0).key("roughnessFactor").value(1.0);
    json.close_object().close_object();
  }
  json.close_array();
}

void write_primitive(JsonWriter& json, int position, int normals, int indices, int material,
                     int mode) {
  json.open_object().key("attributes").open_object();
  if (normals >= 0) json.key("NORMAL").value(normals);
  json.key("POSITION").value(position).close_object();
  if (indices >= 0) json.key("indices").value(indices);
  json.key("material").value(material).key("mode").value(mode).close_object();
}

void write_model_mesh(const Mesh& mesh, const Document& document, JsonWriter& json) {
  json.open_object().key("name").value("model").key("primitives").open_array();
  if (mesh.triangles.empty()) {
    write_primitive(json, 0, document.normals, -1, document.points_material, 0);
  }
  int indices = document.normals >= 0 ? 2 : 1;
  for (const Mesh::Group& group : mesh.groups) {
    const int material = group.material >= 0 ? group.material : document.no_material;
    write_primitive(json, 0, document.normals, indices++, material, 4);
  }
  json.close_array().close_object();
}

void write_meshes(const Mesh& mesh, const Document& document, JsonWriter& json) {
  json.key("meshes").open_array();
  if (document.has_model) write_model_mesh(mesh, document, json);
  auto accessor = static_cast<int>(document.model_pieces.size());
  for (const CollisionBody& body : mesh.bodies) {
    if (body.points.empty()) continue;
    json.open_object().key("name").value(body.name).key("primitives").open_array();
    write_primitive(json, accessor++, -1, -1, document.body_material, 4);
    json.close_array().close_object();
  }
  json.close_array();
}

// The model's node, one per body (marked, so that tools and importers can tell the bodies from
// the model) and a last one that holds the bodies.
void write_nodes(const Mesh& mesh, const Document& document, JsonWriter& json) {
  json.key("nodes").open_array();
  if (document.has_model)
    json.open_object().key("mesh").value(0).key("name").value("model").close_object();
  std::uint64_t body_mesh = document.has_model ? 1 : 0;
  for (const CollisionBody& body : mesh.bodies) {
    json.open_object().key("extras").open_object().key("collision").value(true).close_object();
    if (!body.points.empty()) json.key("mesh").value(body_mesh++);
    json.key("name").value(body.name).close_object();
  }
  if (!mesh.bodies.empty()) {
    const std::uint64_t first = document.has_model ? 1 : 0;
    json.open_object().key("children").open_array();
    for (std::uint64_t i = 0; i < mesh.bodies.size(); ++i) json.value(first + i);
    json.close_array().key("extras").open_object().key("collision").value(true).close_object();
    json.key("name").value("collision bodies").close_object();
  }
  json.close_array();
}

void write_scenes(const Mesh& mesh, const Document& document, JsonWriter& json) {
  json.key("scene").value(0).key("scenes").open_array().open_object();
  if (document.has_model || !mesh.bodies.empty()) {
    json.key("nodes").open_array();
    if (document.has_model) json.value(0);
    if (!mesh.bodies.empty()) json.value(std::uint64_t{document.has_model} + mesh.bodies.size());
    json.close_array();
  }
  json.close_object().close_array();
}

// The members in the order of their names, each present only when it has something to hold.
void write_document(const Mesh& mesh, const Document& document, JsonSink& sink) {
  JsonWriter json(sink);
  json.open_object();
  if (document.piece_count() > 0) write_accessors(mesh, document, json);
  json.key("asset").open_object().key("generator").value(document.generator);
  json.key("version").value("2.0").close_object();
  if (document.piece_count() > 0) write_views(mesh, document, json);
  if (document.bin_size() > 0) {
    json.key("buffers").open_array().open_object().key("byteLength").value(document.bin_size());
    json.close_object().close_array();
  }
  if (!document.materials.empty()) write_materials(document, json);
  if (document.has_model || document.bodies_with_points > 0) write_meshes(mesh, document, json);
  if (document.has_model || !mesh.bodies.empty()) write_nodes(mesh, document, json);
  write_scenes(mesh, document, json);
  json.close_object();
}

void write_u32(OutputFile& out, std::uint32_t value) {
  unsigned char bytes[4];
  for (int b = 0; b < 4; ++b) bytes[b] = static_cast<unsigned char>(value >> (8 * b));
  out.write(bytes, 4);
}

// glTF's binary is little-endian, as the host's memory usually is: then arrays go out whole.
constexpr bool kHostIsLittleEndian = std::endian::native == std::endian::little;
static_assert(sizeof(Vec3) == 12 && sizeof(std::array<std::uint16_t, 3>) == 6);

void write_vec3s(OutputFile& out, std::span<const Vec3> values) {
  if (values.empty()) return;  // a body without points: no bytes, and no array to point at
  if constexpr (kHostIsLittleEndian) return out.write(values.data(), values.size_bytes());
  for (const Vec3& v : values) {
    unsigned char bytes[12];
    for (int k = 0; k < 3; ++k) {
      std::uint32_t bits;
      std::memcpy(&bits, &v[k], 4);
      for (int b = 0; b < 4; ++b) bytes[4 * k + b] = static_cast<unsigned char>(bits >> (8 * b));
    }
    out.write(bytes, sizeof bytes);
  }
}

void write_indices(OutputFile& out, const Mesh& mesh, const Mesh::Group& group, bool wide) {
  if (kHostIsLittleEndian && !wide)
    return out.write(mesh.triangles.data() + group.first, std::size_t{group.count} * 6);
  for (std::uint32_t t = group.first; t < group.first + group.count; ++t) {
    for (const std::uint32_t index : mesh.triangles[t]) {
      if (wide) {
        write_u32(out, index);
      } else {
        const unsigned char bytes[2] = {static_cast<unsigned char>(index),
                                        static_cast<unsigned char>(index >> 8)};
        out.write(bytes, 2);
      }
    }
  }
}

void write_bin(const Mesh& mesh, const Document& document, OutputFile& out) {
  static constexpr unsigned char kZeros[4] = {};
  const bool wide = wide_indices(mesh);
  std::size_t group = 0;
  for (const Piece& piece : document.model_pieces) {
    if (!piece.points.empty()) {
      write_vec3s(out, piece.points);
    } else {
      write_indices(out, mesh, mesh.groups[group++], wide);
    }
    const std::uint64_t end = piece.offset + piece.size;
    out.write(kZeros, padded4(end) - end);
  }
  for (const CollisionBody& body : mesh.bodies) write_vec3s(out, body.points);
}

}  // namespace

bool write_glb(const Mesh& mesh, std::string_view generator, OutputFile& out,
               std::uint64_t size_limit) {
  const Document document = plan_document(mesh, generator);
  JsonSink counted(nullptr);
  write_document(mesh, document, counted);
  const std::uint64_t json_length = counted.size();
  const std::uint64_t json_size = padded4(json_length);
  const std::uint64_t bin_size = document.bin_size();
  const std::uint64_t total = 12 + 8 + json_size + (bin_size > 0 ? 8 + bin_size : 0);
  // A larger one would carry lengths cut to 32 bits: a file no reader could make sense of.
  if (total > size_limit) return false;
  write_u32(out, kGlbMagic);
  write_u32(out, 2);
  write_u32(out, static_cast<std::uint32_t>(total));
  write_u32(out, static_cast<std::uint32_t>(json_size));
  write_u32(out, kJsonChunk);
  JsonSink written(&out);
  write_document(mesh, document, written);
  out.write("    ", json_size - json_length);
  if (bin_size > 0) {
    write_u32(out, static_cast<std::uint32_t>(bin_size));
    write_u32(out, kBinChunk);
    write_bin(mesh, document, out);
  }
  return true;
}

}  // namespace model_unpack
