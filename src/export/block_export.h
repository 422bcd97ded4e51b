// The export phase: each known block copied raw into a fixed-name file of the export folder.
#pragma once

#include <optional>
#include <vector>

#include "io/diagnostics.h"
#include "io/file_identity.h"
#include "io/file_system.h"
#include "model/element_walk.h"
#include "model/model_format.h"

namespace model_unpack {

struct ExportTarget {
  int directory;  // where the export files go (AT_FDCWD: the current directory)
  // An export file that is this file is never opened, so the report being written cannot be
  // destroyed; its row still reads, so later output is unchanged.
  std::optional<FileIdentity> info_file;
  FileSystem& files;
};

// What the info phase takes over from the export phase.
struct ExportResult {
  // The last values read, which the info phase goes on from.
  LastValues last_values;
  // Each kept record's element count as the export phase's count words left it: an exported
  // edges block's is its second count word, which the info file lists as its size.
  std::vector<std::uint32_t> element_counts;
};

// Copies every known block.
ExportResult export_blocks(const BlockDirectory& directory, ModelFile& model,
                           const ExportTarget& target, Diagnostics& said);

}  // namespace model_unpack
