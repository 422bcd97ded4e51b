// Every file one model's work writes, stated once: the job and the mesh outputs write what it
// names, and the batch checks it for clashes before anything runs.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "job/file_names.h"

namespace model_unpack {

// What a run asks of each model.
struct OutputChoice {
  bool job = true;                         // the export files and the info file
  std::optional<std::string> exports_dir;  // export files into DIR/STEM/ instead of here
  bool glb = false;
  bool png = false;
};

struct JobOutputs {
  JobNames names;
  std::optional<std::string> info;  // the info file, when the job runs
  // Where the export files go, when the job runs: empty for the current folder (which every
  // job writes in turn), else the model's own folder DIR/STEM.
  std::optional<std::string> exports_folder;
  std::optional<std::string> glb;  // beside the info file
  std::optional<std::string> png;
};

JobOutputs outputs_of(const JobNames& names, const OutputChoice& choice);

// The export files' names, in the order a job deletes them.
std::span<const char* const> export_file_names();

// The info file name with `extension` in place of "txt".
std::string beside_info_file(const JobNames& names, std::string_view extension);

}  // namespace model_unpack
