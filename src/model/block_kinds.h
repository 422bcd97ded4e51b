// Every block kind the tool knows, in one table: its layout, its export file and console
// lines, and how the info file shows it. The export rows, the deletion list and the
// renderers all derive from it.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

namespace model_unpack {

// How an element travels from the model file into its export file.
enum class ElementCopy {
  None,         // not exported
  ThreeQuads,   // three 4-byte units
  ThreePairs,   // three 2-byte units
  OneName,      // one 64-byte unit
  OnePair,      // one 2-byte unit
  Bone,         // three 64-byte units, the extra length (not written), the extra data
  CollisionBody,  // a 64-byte name, the group count G, then 9 x G 4-byte units
};

// How the info file shows an element.
enum class IndexField { None, Colon, ColonBlank };  // none, "%5u:", "%5u: "
enum class Value { NotSaved, ListingOnly, U16, F32, MaterialName, Bone };

struct Rendering {
  Value value = Value::NotSaved;  // "Don't know what to save"; the file is not read
  int values = 0;                 // numbers per line
  int blanks_after_value = 0;
  IndexField index = IndexField::None;
  bool has_heading = false;  // the heading text, then two line breaks, before the first element
  std::string_view heading;
};

struct BlockKind {
  std::string_view name;
  int count_words;             // 2 for edges: the second is the element count
  std::uint32_t element_size;  // bytes; for bones and bodies the fixed part before the rest
  ElementCopy copy;
  const char* export_file;  // null: not exported
  std::string_view start_line;
  std::string_view completion_line;  // empty: the row has none
  int deletion_position;             // where a job deletes the export file; -1 when there is none
  Rendering rendering;
};

inline constexpr std::uint32_t kBoneFixedSize = 196;      // two names, the data, L
inline constexpr std::uint32_t kBodyFixedSize = 66;       // the name and G
inline constexpr std::uint32_t kBodyPointGroupSize = 36;  // three points

namespace kinds_detail {
constexpr Rendering shown(Value value, int values = 1, int blanks = 0,
                          IndexField index = IndexField::None, bool has_heading = false,
                          std::string_view heading = "") {
  return {value, values, blanks, index, has_heading, heading};
}
constexpr Rendering floats3 = shown(Value::F32, 3, 2, IndexField::ColonBlank);
constexpr Rendering u16s(int values, int blanks) {
  return shown(Value::U16, values, blanks, IndexField::ColonBlank);
}
constexpr BlockKind opaque(std::string_view name) {
  return {name, 1, 0, ElementCopy::None, nullptr, "", "", -1, shown(Value::NotSaved)};
}
}  // namespace kinds_detail

// The exported kinds first, in the order the export phase runs them.
inline constexpr std::array<BlockKind, 19> kBlockKinds{{
    {"positions", 1, 12, ElementCopy::ThreeQuads, "pos.txt", "Exporting positions\n",
     "Positions exported\n", 6, kinds_detail::floats3},
    {"position_tris", 1, 6, ElementCopy::ThreePairs, "pos_tris.txt", "Exporting triangles\n",
     "Triangles exported\n", 7, kinds_detail::u16s(3, 1)},
    {"normals", 1, 12, ElementCopy::ThreeQuads, "normals.txt", "Exporting normals\n",
     "Normals exported\n", 5, kinds_detail::floats3},
    {"binormals", 1, 12, ElementCopy::ThreeQuads, "binorm.txt", "Exporting binormals\n",
     "Binormals exported\n", 0, kinds_detail::floats3},
    {"tangents", 1, 12, ElementCopy::ThreeQuads, "tangents.txt", "Exporting tangents\n",
     "Tangents exported\n", 8, kinds_detail::floats3},
    {"materials", 1, 64, ElementCopy::OneName, "material.txt", "Exporting materials\n",
     "Materials exported\n", 4, kinds_detail::shown(Value::MaterialName)},
    {"material_tris", 1, 2, ElementCopy::OnePair, "mat_tris.txt", "Exporting material_tris\n",
     "Material_tris exported\n", 3,
     kinds_detail::shown(Value::U16, 1, 0, IndexField::Colon, true,
                         "Polygon number: type of material")},
    {"edges", 2, 6, ElementCopy::ThreePairs, "edges.txt", "Exporting edges\n", "Edges exported\n",
     2, kinds_detail::u16s(3, 1)},
    // Six u16 values travel as three 4-byte units.
    {"vertexes", 1, 12, ElementCopy::ThreeQuads, "vertex.txt", "Exporting vertex\n",
     "Vertex exported\n", 9, kinds_detail::u16s(6, 2)},
    {"vertex_tris", 1, 6, ElementCopy::ThreePairs, "vertex_tris.txt", "Exporting vertex_tris\n",
     "Vertex_tris exported\n", 10, kinds_detail::u16s(3, 2)},
    {"bonelinks", 1, 2, ElementCopy::OnePair, "bonelinks.txt", "Exporting bonelinks\n", "", 11,
     kinds_detail::shown(Value::U16, 1, 0, IndexField::Colon, true)},
    {"bones", 1, kBoneFixedSize, ElementCopy::Bone, "bones.txt", "Exporting bones\n",
     "Bones exported\n", 1, kinds_detail::shown(Value::Bone)},
    {"collisebodies", 1, kBodyFixedSize, ElementCopy::CollisionBody, "collisebodies.txt",
     "Exporting Collisebodies\n", "Collisebodies exported\n", 12,
     kinds_detail::shown(Value::ListingOnly)},
    kinds_detail::opaque("texcoords"),
    kinds_detail::opaque("animation"),
    kinds_detail::opaque("bsp"),
    kinds_detail::opaque("portals"),
    kinds_detail::opaque("light_animations"),
    kinds_detail::opaque("bbox_data"),
}};

inline constexpr std::size_t kExportFileCount = 13;

// The kind of a block name, or null for a name the tool does not know.
constexpr const BlockKind* block_kind(std::string_view name) {
  for (const BlockKind& kind : kBlockKinds) {
    if (kind.name == name) return &kind;
  }
  return nullptr;
}

// The export files in the order a job deletes those of an earlier job.
inline constexpr std::array<const char*, kExportFileCount> kExportFileDeletionOrder = [] {
  std::array<const char*, kExportFileCount> order{};
  for (const BlockKind& kind : kBlockKinds) {
    if (kind.deletion_position >= 0) order[kind.deletion_position] = kind.export_file;
  }
  return order;
}();

}  // namespace model_unpack
