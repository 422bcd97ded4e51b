// The export phase: each known block copied raw into a fixed-name file of the export folder.
#pragma once

#include <optional>

#include "io/console_output.h"
#include "io/file_identity.h"
#include "io/file_system.h"
#include "model/model_format.h"
#include "model/unit_reader.h"

namespace model_unpack {

struct ExportTarget {
  int directory;  // where the export files go (AT_FDCWD: the current directory)
  // An export file that is this file is never opened, so the report being written cannot be
  // destroyed; its row still reads, so later output is unchanged.
  std::optional<FileIdentity> info_file;
  FileSystem* files;  // always named
};

// Copies every known block; false when it printed an error line.
bool export_blocks(BlockDirectory& directory, UnitReader& reader, const ExportTarget& target,
                   const ConsoleOutput& console);

}  // namespace model_unpack
