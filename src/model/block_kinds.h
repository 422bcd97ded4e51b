// Every block kind the tool knows, in one table: its element's layout, its export file and
// console lines, and how the info file shows it. Element sizes, the numbers per info line,
// the export rows and the deletion list all derive from it.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "model/element_layout.h"

namespace model_unpack {

// How the info file shows an element.
enum class IndexField { None, Colon, ColonBlank };  // none, "%5u:", "%5u: "
enum class Value { NotSaved, ListingOnly, U16, F32, MaterialName, Bone };

struct Rendering {
  Value value = Value::NotSaved;  // "Don't know what to save"; the file is not read
  int values = 0;                 // numbers per line, from the layout
  int blanks_after_value = 0;
  IndexField index = IndexField::None;
  bool has_heading = false;  // the heading text, then two line breaks, before the first element
  std::string_view heading;
};

struct BlockKind {
  std::string_view name;
  int count_words;  // 2 for edges: the second is the element count
  ElementLayout layout;
  const char* export_file;  // null: not exported
  std::string_view start_line;
  std::string_view completion_line;  // empty: the kind has none
  int deletion_position;             // where a job deletes the export file; -1 when there is none
  Rendering rendering;

  // Bytes of an element, or of the fixed part before its tail.
  constexpr std::uint32_t element_size() const { return layout.fixed_size(); }
};

namespace kinds_detail {
using F = Field;
constexpr ElementLayout kFloatTriple = layout_of({F::F32, F::F32, F::F32});
constexpr ElementLayout kU16Triple = layout_of({F::U16, F::U16, F::U16});
constexpr ElementLayout kU16 = layout_of({F::U16});
// Two names, 64 bytes of data, and the extra data its length word counts.
constexpr ElementLayout kBone =
    layout_of({F::Name64, F::Name64, F::Raw64, F::LengthWord}, Tail::CountedBytes);
// A name and G groups of three points.
constexpr ElementLayout kCollisionBody =
    layout_of({F::Name64, F::GroupCount}, Tail::CountedGroups,
              {F::F32, F::F32, F::F32, F::F32, F::F32, F::F32, F::F32, F::F32, F::F32});
// Six u16 values that travel as three 4-byte units.
constexpr ElementLayout kVertex = layout_of({F::U16Pair, F::U16Pair, F::U16Pair});

// Numbers shown as the layout holds them, `blanks` after each.
constexpr Rendering numbers(const ElementLayout& layout, int blanks,
                            IndexField index = IndexField::ColonBlank, bool has_heading = false,
                            std::string_view heading = "") {
  const bool u16 = layout.u16_values() > 0;
  return {u16 ? Value::U16 : Value::F32,
          u16 ? layout.u16_values() : layout.f32_values(),
          blanks,
          index,
          has_heading,
          heading};
}
constexpr Rendering shown(Value value) {
  Rendering rendering;
  rendering.value = value;
  return rendering;
}

constexpr BlockKind exported(std::string_view name, const ElementLayout& layout,
                             const char* export_file, std::string_view start_line,
                             std::string_view completion_line, int deletion_position,
                             const Rendering& rendering, int count_words = 1) {
  return {
      name,     count_words, layout, export_file, start_line, completion_line, deletion_position,
      rendering};
}
constexpr BlockKind opaque(std::string_view name) {
  return {name, 1, {}, nullptr, "", "", -1, shown(Value::NotSaved)};
}
}  // namespace kinds_detail

// The exported kinds first, in the order the export phase runs them.
inline constexpr std::array<BlockKind, 19> kBlockKinds = [] {
  using namespace kinds_detail;
  return std::array<BlockKind, 19>{{
      exported("positions", kFloatTriple, "pos.txt", "Exporting positions\n",
               "Positions exported\n", 6, numbers(kFloatTriple, 2)),
      exported("position_tris", kU16Triple, "pos_tris.txt", "Exporting triangles\n",
               "Triangles exported\n", 7, numbers(kU16Triple, 1)),
      exported("normals", kFloatTriple, "normals.txt", "Exporting normals\n", "Normals exported\n",
               5, numbers(kFloatTriple, 2)),
      exported("binormals", kFloatTriple, "binorm.txt", "Exporting binormals\n",
               "Binormals exported\n", 0, numbers(kFloatTriple, 2)),
      exported("tangents", kFloatTriple, "tangents.txt", "Exporting tangents\n",
               "Tangents exported\n", 8, numbers(kFloatTriple, 2)),
      exported("materials", layout_of({F::Name64}), "material.txt", "Exporting materials\n",
               "Materials exported\n", 4, shown(Value::MaterialName)),
      exported("material_tris", kU16, "mat_tris.txt", "Exporting material_tris\n",
               "Material_tris exported\n", 3,
               numbers(kU16, 0, IndexField::Colon, true, "Polygon number: type of material")),
      exported("edges", kU16Triple, "edges.txt", "Exporting edges\n", "Edges exported\n", 2,
               numbers(kU16Triple, 1), 2),
      exported("vertexes", kVertex, "vertex.txt", "Exporting vertex\n", "Vertex exported\n", 9,
               numbers(kVertex, 2)),
      exported("vertex_tris", kU16Triple, "vertex_tris.txt", "Exporting vertex_tris\n",
               "Vertex_tris exported\n", 10, numbers(kU16Triple, 2)),
      exported("bonelinks", kU16, "bonelinks.txt", "Exporting bonelinks\n", "", 11,
               numbers(kU16, 0, IndexField::Colon, true)),
      exported("bones", kBone, "bones.txt", "Exporting bones\n", "Bones exported\n", 1,
               shown(Value::Bone)),
      exported("collisebodies", kCollisionBody, "collisebodies.txt", "Exporting Collisebodies\n",
               "Collisebodies exported\n", 12, shown(Value::ListingOnly)),
      opaque("texcoords"),
      opaque("animation"),
      opaque("bsp"),
      opaque("portals"),
      opaque("light_animations"),
      opaque("bbox_data"),
  }};
}();

inline constexpr std::size_t kExportFileCount = static_cast<std::size_t>(std::count_if(
    kBlockKinds.begin(), kBlockKinds.end(), [](const BlockKind& k) { return k.export_file; }));

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

namespace kinds_detail {
// Every exported kind has its own place in the deletion order, and only they have one.
constexpr bool deletion_order_is_complete() {
  for (std::size_t position = 0; position < kExportFileCount; ++position) {
    int holders = 0;
    for (const BlockKind& kind : kBlockKinds) {
      holders += kind.deletion_position == static_cast<int>(position);
      if ((kind.export_file == nullptr) != (kind.deletion_position < 0)) return false;
    }
    if (holders != 1) return false;
  }
  return true;
}
// What each exported layout must be for the element handling built on it.
constexpr bool layouts_are_sound() {
  for (const BlockKind& kind : kBlockKinds) {
    if (kind.export_file == nullptr) continue;
    if (!kind.layout.tail_is_counted() || kind.element_size() == 0) return false;
    const Value value = kind.rendering.value;
    if ((value == Value::U16 || value == Value::F32) && !kind.layout.numbers_only()) return false;
    if (kind.layout.tail == Tail::None && !kind.layout.fields.uniform()) return false;
  }
  return true;
}
}  // namespace kinds_detail
static_assert(kinds_detail::deletion_order_is_complete());
static_assert(kinds_detail::layouts_are_sound());
static_assert(block_kind("bones")->element_size() == 196);
static_assert(block_kind("collisebodies")->element_size() == 66);
static_assert(block_kind("collisebodies")->layout.group_size() == 36);
static_assert(block_kind("vertexes")->rendering.values == 6);

}  // namespace model_unpack
