#include "mesh/glb_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

#include "mesh/palette.h"

namespace model_unpack {

namespace {

using nlohmann::json;

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

// One piece of the BIN chunk: its bytes are produced when the chunk is written.
struct BinPiece {
  std::uint64_t offset;
  std::uint64_t size;
  std::function<void(OutputFile&)> write;
};

// Lays out the BIN chunk and the JSON objects that point into it.
class GltfBuilder {
 public:
  json document = json::object();

  // A buffer view of `size` bytes and an accessor over it; returns the accessor index.
  int add_accessor(std::uint64_t size, int target, json accessor,
                   std::function<void(OutputFile&)> write) {
    const std::uint64_t offset = bin_size_;
    pieces_.push_back({offset, size, std::move(write)});
    bin_size_ = padded4(offset + size);
    json view = {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", size}, {"target", target}};
    views().push_back(view);
    accessor["bufferView"] = views().size() - 1;
    accessors().push_back(std::move(accessor));
    return static_cast<int>(accessors().size() - 1);
  }

  int add_positions(const std::vector<Vec3>& points) { return add_vec3s(points, bounds(points)); }

  int add_vec3s(const std::vector<Vec3>& values, json extra = json::object()) {
    json accessor = vec3_accessor(values.size());
    accessor.update(extra);
    return add_accessor(values.size() * sizeof(Vec3), kArrayBuffer, std::move(accessor),
                        [&values](OutputFile& out) { write_vec3s(out, values); });
  }

  static json vec3_accessor(std::size_t count) {
    return {{"componentType", kFloat}, {"count", count}, {"type", "VEC3"}};
  }

  // The "min" and "max" glTF asks of positions.
  static json bounds(const std::vector<Vec3>& points) {
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
    return {{"min", low}, {"max", high}};
  }

  static void write_vec3s(OutputFile& out, const std::vector<Vec3>& values) {
    for (const Vec3& v : values) write_floats(out, v);
  }

  // Room in the BIN chunk after the pieces added so far, for what is written after them.
  void reserve_tail(std::uint64_t size) { tail_size_ += size; }
  std::uint64_t pieces_size() const { return bin_size_; }
  std::size_t view_count() { return document.contains("bufferViews") ? views().size() : 0; }
  std::size_t accessor_count() { return document.contains("accessors") ? accessors().size() : 0; }

  void finish() {
    if (bin_size() > 0) document["buffers"] = json::array({{{"byteLength", bin_size()}}});
  }

  void write_bin(OutputFile& out) const {
    static constexpr unsigned char kZeros[4] = {};
    std::uint64_t written = 0;
    for (const BinPiece& piece : pieces_) {
      piece.write(out);
      written = piece.offset + piece.size;
      out.write(kZeros, padded4(written) - written);
    }
  }

  std::uint64_t bin_size() const { return bin_size_ + tail_size_; }

  static void write_floats(OutputFile& out, const Vec3& v) {
    unsigned char bytes[12];
    for (int k = 0; k < 3; ++k) {
      std::uint32_t bits;
      std::memcpy(&bits, &v[k], 4);
      for (int b = 0; b < 4; ++b) bytes[4 * k + b] = static_cast<unsigned char>(bits >> (8 * b));
    }
    out.write(bytes, sizeof bytes);
  }

 private:
  json& views() { return array("bufferViews"); }
  json& accessors() { return array("accessors"); }
  json& array(const char* name) {
    if (!document.contains(name)) document[name] = json::array();
    return document[name];
  }

  std::vector<BinPiece> pieces_;
  std::uint64_t bin_size_ = 0;
  std::uint64_t tail_size_ = 0;  // written by the caller after the pieces
};

// Where the JSON text goes: counted first (the chunk's length comes before it), then written.
class JsonSink {
 public:
  explicit JsonSink(OutputFile* out) : out_(out) {}
  void put(std::string_view text) {
    if (out_ != nullptr) out_->write(text.data(), text.size());
    size_ += text.size();
  }
  std::uint64_t size() const { return size_; }

 private:
  OutputFile* out_;
  std::uint64_t size_ = 0;
};

// The collision bodies' part of the document, made one body at a time as it is written, so a
// model of a million bodies never holds a million JSON objects. Each body with points has an
// accessor, a buffer view and a mesh; every body has a node, and a last node holds them all.
class BodyEntries {
 public:
  BodyEntries(const Mesh& mesh, std::size_t first_accessor, std::size_t first_view,
              std::size_t first_mesh, std::size_t first_node, std::uint64_t first_offset,
              int material)
      : material_(material),
        mesh_(mesh),
        first_accessor_(first_accessor),
        first_view_(first_view),
        first_mesh_(first_mesh),
        first_node_(first_node),
        first_offset_(first_offset) {}

  // The array members whose tails the bodies fill; each is called with a separator to put
  // before every element.
  void accessors(JsonSink& sink, bool& first) const {
    std::size_t view = first_view_;
    for_each_with_points([&](const CollisionBody& body) {
      json accessor = GltfBuilder::vec3_accessor(body.points.size());
      accessor.update(GltfBuilder::bounds(body.points));
      accessor["bufferView"] = view++;
      element(sink, first, accessor);
    });
  }
  void views(JsonSink& sink, bool& first) const {
    std::uint64_t offset = first_offset_;
    for_each_with_points([&](const CollisionBody& body) {
      const std::uint64_t size = body.points.size() * sizeof(Vec3);
      element(
          sink, first,
          {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", size}, {"target", kArrayBuffer}});
      offset += size;  // a multiple of 4: no padding between bodies
    });
  }
  void meshes(JsonSink& sink, bool& first) const {
    std::size_t accessor = first_accessor_;
    for_each_with_points([&](const CollisionBody& body) {
      element(
          sink, first,
          {{"name", body.name},
           {"primitives",
            {{{"attributes", {{"POSITION", accessor++}}}, {"material", material_}, {"mode", 4}}}}});
    });
  }
  void nodes(JsonSink& sink, bool& first) const {
    std::size_t mesh = first_mesh_;
    for (const CollisionBody& body : mesh_.bodies) {
      // Marked, so that tools and importers can tell the bodies from the model.
      json node = {{"name", body.name}, {"extras", {{"collision", true}}}};
      if (!body.points.empty()) node["mesh"] = mesh++;
      element(sink, first, node);
    }
    json children = json::array();
    for (std::size_t i = 0; i < mesh_.bodies.size(); ++i) children.push_back(first_node_ + i);
    element(sink, first,
            {{"children", std::move(children)},
             {"extras", {{"collision", true}}},
             {"name", "collision bodies"}});
  }

  std::size_t with_points() const {
    return static_cast<std::size_t>(
        std::count_if(mesh_.bodies.begin(), mesh_.bodies.end(),
                      [](const CollisionBody& body) { return !body.points.empty(); }));
  }
  std::uint64_t bin_size() const {
    std::uint64_t size = 0;
    for (const CollisionBody& body : mesh_.bodies) size += body.points.size() * sizeof(Vec3);
    return size;
  }
  void write_bin(OutputFile& out) const {
    for (const CollisionBody& body : mesh_.bodies) GltfBuilder::write_vec3s(out, body.points);
  }

 private:
  template <typename Visit>
  void for_each_with_points(Visit&& visit) const {
    for (const CollisionBody& body : mesh_.bodies) {
      if (!body.points.empty()) visit(body);
    }
  }
  static void element(JsonSink& sink, bool& first, const json& value) {
    if (!first) sink.put(",");
    first = false;
    sink.put(value.dump());
  }

  int material_;
  const Mesh& mesh_;
  std::size_t first_accessor_;
  std::size_t first_view_;
  std::size_t first_mesh_;
  std::size_t first_node_;
  std::uint64_t first_offset_;
};

// The document as json::dump() writes it, with the bodies' elements added at the end of the
// arrays they belong to.
void write_document(const json& document, const BodyEntries* bodies, JsonSink& sink) {
  sink.put("{");
  bool first_member = true;
  for (const auto& [key, value] : document.items()) {
    if (!first_member) sink.put(",");
    first_member = false;
    sink.put(json(key).dump());
    sink.put(":");
    using Tail = void (BodyEntries::*)(JsonSink&, bool&) const;
    Tail tail = nullptr;
    if (bodies != nullptr) {
      if (key == "accessors") tail = &BodyEntries::accessors;
      if (key == "bufferViews") tail = &BodyEntries::views;
      if (key == "meshes") tail = &BodyEntries::meshes;
      if (key == "nodes") tail = &BodyEntries::nodes;
    }
    if (tail == nullptr) {
      sink.put(value.dump());
      continue;
    }
    sink.put("[");
    bool first = true;
    for (const json& element : value) {
      if (!first) sink.put(",");
      first = false;
      sink.put(element.dump());
    }
    (bodies->*tail)(sink, first);
    sink.put("]");
  }
  sink.put("}");
}

void write_u32(OutputFile& out, std::uint32_t value) {
  unsigned char bytes[4];
  for (int b = 0; b < 4; ++b) bytes[b] = static_cast<unsigned char>(value >> (8 * b));
  out.write(bytes, 4);
}

// Every primitive has a material: the model's own, grey for triangles without one, one for the
// points of a model without triangles, one shared by the collision bodies.
struct MaterialIndexes {
  int no_material = -1;
  int points = -1;
  int collision_body = -1;
};

json material(const std::string& name, const Vec3& srgb, float alpha = 1.0f) {
  const Vec3 linear = linear_colour(srgb);
  json entry = {{"name", name},
                {"doubleSided", true},
                {"pbrMetallicRoughness",
                 {{"baseColorFactor", {linear[0], linear[1], linear[2], alpha}},
                  {"metallicFactor", 0.0},
                  {"roughnessFactor", 1.0}}}};
  if (alpha < 1.0f) entry["alphaMode"] = "BLEND";
  return entry;
}

json model_mesh(const Mesh& mesh, const MaterialIndexes& indexes, GltfBuilder& gltf) {
  json attributes = {{"POSITION", gltf.add_positions(mesh.positions)}};
  if (!mesh.normals.empty()) attributes["NORMAL"] = gltf.add_vec3s(mesh.normals);
  if (mesh.triangles.empty()) {
    return {
        {"name", "model"},
        {"primitives", {{{"attributes", attributes}, {"material", indexes.points}, {"mode", 0}}}}};
  }

  // glTF forbids the largest value of an index type as an index.
  const bool wide = mesh.largest_index() >= 65535;
  const int component = wide ? kUnsignedInt : kUnsignedShort;
  const std::uint32_t index_size = wide ? 4 : 2;
  json primitives = json::array();
  for (const Mesh::Group& group : mesh.groups) {
    const json accessor = {{"componentType", component},
                           {"count", std::uint64_t{group.count} * 3},
                           {"type", "SCALAR"}};
    const int indices = gltf.add_accessor(
        std::uint64_t{group.count} * 3 * index_size, kElementArrayBuffer, accessor,
        [&mesh, group, wide](OutputFile& out) {
          for (std::uint32_t t = group.first; t < group.first + group.count; ++t) {
            for (std::uint32_t index : mesh.triangles[t]) {
              if (wide) {
                write_u32(out, index);
              } else {
                const unsigned char bytes[2] = {static_cast<unsigned char>(index),
                                                static_cast<unsigned char>(index >> 8)};
                out.write(bytes, 2);
              }
            }
          }
        });
    primitives.push_back({{"attributes", attributes},
                          {"indices", indices},
                          {"material", group.material >= 0 ? group.material : indexes.no_material},
                          {"mode", 4}});
  }
  return {{"name", "model"}, {"primitives", std::move(primitives)}};
}

}  // namespace

bool write_glb(const Mesh& mesh, std::string_view generator, OutputFile& out,
               std::uint64_t size_limit) {
  GltfBuilder gltf;
  gltf.document["asset"] = {{"version", "2.0"}, {"generator", std::string(generator)}};
  json scene_nodes = json::array();
  json nodes = json::array();
  json meshes = json::array();

  json materials = json::array();
  MaterialIndexes indexes;
  for (const Mesh::Material& named : mesh.materials) {
    materials.push_back(material(named.name, material_colour(named.number)));
  }
  const bool without_material = std::any_of(mesh.groups.begin(), mesh.groups.end(),
                                            [](const Mesh::Group& g) { return g.material < 0; });
  if (without_material) {
    indexes.no_material = static_cast<int>(materials.size());
    materials.push_back(material("no material", kNoMaterialColour));
  }
  if (mesh.triangles.empty() && !mesh.positions.empty()) {
    indexes.points = static_cast<int>(materials.size());
    materials.push_back(material("points", kPointColour));
  }
  if (std::any_of(mesh.bodies.begin(), mesh.bodies.end(),
                  [](const CollisionBody& body) { return !body.points.empty(); })) {
    indexes.collision_body = static_cast<int>(materials.size());
    materials.push_back(material("collision body", kCollisionBodyColour, kCollisionBodyAlpha));
  }
  if (!materials.empty()) gltf.document["materials"] = std::move(materials);

  // Vertices without triangles are points; a model without vertices has no mesh.
  if (!mesh.positions.empty()) {
    meshes.push_back(model_mesh(mesh, indexes, gltf));
    nodes.push_back({{"name", "model"}, {"mesh", meshes.size() - 1}});
    scene_nodes.push_back(nodes.size() - 1);
  }
  std::optional<BodyEntries> bodies;
  if (!mesh.bodies.empty()) {
    bodies.emplace(mesh, gltf.accessor_count(), gltf.view_count(), meshes.size(), nodes.size(),
                   gltf.pieces_size(), indexes.collision_body);
    scene_nodes.push_back(nodes.size() + mesh.bodies.size());
    gltf.reserve_tail(bodies->bin_size());
    // The arrays the bodies' elements end, present in the document so they come in key order.
    if (bodies->with_points() > 0) {
      for (const char* name : {"accessors", "bufferViews"}) {
        if (!gltf.document.contains(name)) gltf.document[name] = json::array();
      }
    }
    if (!meshes.empty() || bodies->with_points() > 0) gltf.document["meshes"] = std::move(meshes);
    gltf.document["nodes"] = std::move(nodes);
  } else {
    if (!meshes.empty()) gltf.document["meshes"] = std::move(meshes);
    if (!nodes.empty()) gltf.document["nodes"] = std::move(nodes);
  }
  json scene = json::object();
  if (!scene_nodes.empty()) scene["nodes"] = std::move(scene_nodes);
  gltf.document["scenes"] = json::array({std::move(scene)});
  gltf.document["scene"] = 0;
  gltf.finish();

  const BodyEntries* body_entries = bodies ? &*bodies : nullptr;
  JsonSink counted(nullptr);
  write_document(gltf.document, body_entries, counted);
  const std::uint64_t json_length = counted.size();
  const std::uint64_t json_size = padded4(json_length);
  const std::uint64_t bin_size = gltf.bin_size();
  const std::uint64_t total = 12 + 8 + json_size + (bin_size > 0 ? 8 + bin_size : 0);
  // A larger one would carry lengths cut to 32 bits: a file no reader could make sense of.
  if (total > size_limit) return false;
  write_u32(out, kGlbMagic);
  write_u32(out, 2);
  write_u32(out, static_cast<std::uint32_t>(total));
  write_u32(out, static_cast<std::uint32_t>(json_size));
  write_u32(out, kJsonChunk);
  JsonSink written(&out);
  write_document(gltf.document, body_entries, written);
  out.write("    ", json_size - json_length);
  if (bin_size > 0) {
    write_u32(out, static_cast<std::uint32_t>(bin_size));
    write_u32(out, kBinChunk);
    gltf.write_bin(out);
    if (body_entries != nullptr) body_entries->write_bin(out);
  }
  return true;
}

}  // namespace model_unpack
