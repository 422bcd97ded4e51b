// The glb and the preview picture of a model, written beside its info file.
#pragma once

#include <cstdint>

#include "io/console_output.h"
#include "io/file_system.h"
#include "job/file_names.h"

namespace model_unpack {

struct MeshOutputs {
  bool glb = false;
  bool png = false;
  std::uint32_t png_size = 512;
  bool after_job = true;  // the job has told already whether the model opens
  FileSystem* files;      // always named
};

// The info file name with `extension` in place of "txt".
std::string beside_info_file(const JobNames& names, std::string_view extension);

// Writes the requested outputs and prints their lines; false when it printed an error line.
bool write_mesh_outputs(const JobNames& names, const MeshOutputs& outputs,
                        const ConsoleOutput& console);

}  // namespace model_unpack
