// The glb and the preview picture of a model, written beside its info file.
#pragma once

#include <cstdint>

#include "io/file_system.h"
#include "job/job_outputs.h"
#include "job/job_report.h"
#include "mesh/preview.h"

namespace model_unpack {

struct MeshSettings {
  std::uint32_t png_size = kPictureSize;
  bool after_job = true;  // the job has told already whether the model opens
  FileSystem& files;
  unsigned picture_threads = 1;  // the picture is drawn on this many threads at once
};

// Writes the glb and png that `outputs` names and tells how it went.
void write_mesh_outputs(const JobOutputs& outputs, const MeshSettings& settings, JobReport& report);

}  // namespace model_unpack
