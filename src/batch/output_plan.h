// Every file a batch run will write, worked out before any job runs, so that no two models
// write one file and no model is written over.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch/batch_options.h"
#include "io/file_system.h"
#include "job/job_outputs.h"

namespace model_unpack {

struct OutputPlan {
  std::vector<JobOutputs> models;
  std::optional<std::string> clash;   // the usage error, when two writers meet
  std::optional<std::string> notice;  // said once on standard error before the run
};

// What each model's run writes, by the names alone (no file is looked at).
std::vector<JobOutputs> outputs_of_models(const BatchOptions& options);

// Files are compared by their spelling with "." and ".." resolved and the links of their
// folders followed, and by device and inode where they exist.
OutputPlan plan_outputs(const BatchOptions& options, FileSystem& files);

}  // namespace model_unpack
