// What the batch tool itself says, as the catalogue states it: of a model (among its job's
// lines), and of the whole run (on standard error, after the tool's name).
#pragma once

#include <array>
#include <cstddef>

#include "io/message.h"

namespace model_unpack {

enum class BatchMessage {
  ExportsFolderIsLink,
  CreatingExportsFolder,
  PlacingOutput,
  Interrupted,
  FewerJobs,
  ModelsFailed,
  StandardOutputFailed,
};
inline constexpr std::array<MessageForm, 7> kBatchMessages{{
    {"exports_folder_is_link", Severity::Error,
     "Error: exports folder {folder} is a symbolic link :("},
    {"creating_exports_folder", Severity::Error, "Error creating exports folder {folder} :("},
    {"placing_output", Severity::Error, "Error writing {file} :("},
    {"interrupted", Severity::Error,
     "model-unpack-batch: interrupted: {finished} of {models} models converted; unfinished "
     "outputs removed"},
    {"fewer_jobs", Severity::Warning, "model-unpack-batch: only {jobs} jobs at once: {why}"},
    {"models_failed", Severity::Error,
     "model-unpack-batch: {failed} of {models} models had errors"},
    {"standard_output_failed", Severity::Error,
     "model-unpack-batch: write error on standard output"},
}};
constexpr const MessageForm& form_of(BatchMessage kind) {
  return kBatchMessages[static_cast<std::size_t>(kind)];
}

}  // namespace model_unpack
