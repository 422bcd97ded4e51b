// The export phase: each known block copied raw into a fixed-name file in the current directory.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "model/console_output.h"
#include "model/file_access.h"
#include "model/file_identity.h"
#include "model/job_scratch.h"
#include "model/model_format.h"

namespace model_unpack {

// How one element is carried from the model file to its export file.
enum class ElementCopy {
  ThreeQuads,   // three 4-byte units
  ThreePairs,   // three 2-byte units
  OneName,      // one 64-byte unit
  OnePair,      // one 2-byte unit
  Bone,         // three 64-byte units, the extra length (not written), the extra data
  CollideBody,  // a 64-byte name, the group count G, then 9 x G 4-byte units
};

struct ExportSpec {
  std::string_view block_name;
  const char* export_file;
  std::string_view start_line;
  std::string_view completion_line;  // empty: the row has none
  int count_words;
  ElementCopy copy;
};

inline constexpr std::array<ExportSpec, 13> kExportSpecs{{
    {"positions", "pos.txt", "Exporting positions\n", "Positions exported\n", 1,
     ElementCopy::ThreeQuads},
    {"position_tris", "pos_tris.txt", "Exporting triangles\n", "Triangles exported\n", 1,
     ElementCopy::ThreePairs},
    {"normals", "normals.txt", "Exporting normals\n", "Normals exported\n", 1,
     ElementCopy::ThreeQuads},
    {"binormals", "binorm.txt", "Exporting binormals\n", "Binormals exported\n", 1,
     ElementCopy::ThreeQuads},
    {"tangents", "tangents.txt", "Exporting tangents\n", "Tangents exported\n", 1,
     ElementCopy::ThreeQuads},
    {"materials", "material.txt", "Exporting materials\n", "Materials exported\n", 1,
     ElementCopy::OneName},
    {"material_tris", "mat_tris.txt", "Exporting material_tris\n", "Material_tris exported\n", 1,
     ElementCopy::OnePair},
    {"edges", "edges.txt", "Exporting edges\n", "Edges exported\n", 2, ElementCopy::ThreePairs},
    // Six u16 values travel as three 4-byte units.
    {"vertexes", "vertex.txt", "Exporting vertex\n", "Vertex exported\n", 1,
     ElementCopy::ThreeQuads},
    {"vertex_tris", "vertex_tris.txt", "Exporting vertex_tris\n", "Vertex_tris exported\n", 1,
     ElementCopy::ThreePairs},
    {"bonelinks", "bonelinks.txt", "Exporting bonelinks\n", "", 1, ElementCopy::OnePair},
    {"bones", "bones.txt", "Exporting bones\n", "Bones exported\n", 1, ElementCopy::Bone},
    {"collisebodies", "collisebodies.txt", "Exporting Collisebodies\n", "Collisebodies exported\n",
     1, ElementCopy::CollideBody},
}};

// The order in which a job deletes the export files of an earlier job.
inline constexpr std::array<const char*, 13> kExportFileDeletionOrder{
    "binorm.txt",      "bones.txt",     "edges.txt",        "mat_tris.txt", "material.txt",
    "normals.txt",     "pos.txt",       "pos_tris.txt",     "tangents.txt", "vertex.txt",
    "vertex_tris.txt", "bonelinks.txt", "collisebodies.txt"};

// Copies every known block. An export file that is `info_file` is never opened, so the report
// being written cannot be destroyed; its row still reads, so later output is unchanged.
void export_blocks(BlockDirectory& directory, ModelFile& model, JobScratch& scratch,
                   const ConsoleOutput& console, const std::optional<FileIdentity>& info_file);

}  // namespace model_unpack
