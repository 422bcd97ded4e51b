#include "job/job_outputs.h"

#include "model/block_kinds.h"

namespace model_unpack {

JobOutputs outputs_of(const JobNames& names, const OutputChoice& choice) {
  JobOutputs outputs{names, {}, {}, {}, {}};
  if (choice.job) {
    outputs.info = names.info;
    outputs.exports_folder =
        choice.exports_dir ? *choice.exports_dir + "/" + std::string(path_stem(names.model)) : "";
  }
  if (choice.glb) outputs.glb = beside_info_file(names, "glb");
  if (choice.png) outputs.png = beside_info_file(names, "png");
  return outputs;
}

std::span<const char* const> export_file_names() {
  return kExportFileDeletionOrder;
}

std::string beside_info_file(const JobNames& names, std::string_view extension) {
  return names.info.substr(0, names.info.size() - 3) + std::string(extension);
}

}  // namespace model_unpack
