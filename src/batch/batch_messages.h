// What the batch tool itself says, as the catalogue states it: of a model (among its job's
// lines), and of the whole run (on standard error, after the tool's name and ": ").
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "io/message.h"

namespace model_unpack {

// A literal, so that the version line is one string in the executable (as Windows' and the
// release check's readers of it find it).
#define MODEL_UNPACK_BATCH_NAME "model-unpack-batch"
inline constexpr std::string_view kToolName = MODEL_UNPACK_BATCH_NAME;

// Of a model, among its job's lines.
enum class BatchMessage { ExportsFolderIsLink, CreatingExportsFolder, PlacingOutput };
inline constexpr std::array<MessageForm, 3> kBatchMessages{{
    {"exports_folder_is_link", Severity::Error,
     "Error: exports folder {folder} is a symbolic link :("},
    {"creating_exports_folder", Severity::Error, "Error creating exports folder {folder} :("},
    {"placing_output", Severity::Error, "Error writing {file} :("},
}};
constexpr const MessageForm& form_of(BatchMessage kind) {
  return kBatchMessages[static_cast<std::size_t>(kind)];
}

// Of the whole run, on standard error after "model-unpack-batch: ".
enum class RunMessage { Interrupted, FewerJobs, ModelsFailed, StandardOutputFailed };
inline constexpr std::array<MessageForm, 4> kRunMessages{{
    {"interrupted", Severity::Error,
     "interrupted: {finished} of {models} models converted; unfinished outputs removed"},
    {"fewer_jobs", Severity::Warning, "only {jobs} jobs at once: {why}"},
    {"models_failed", Severity::Error, "{failed} of {models} models had errors"},
    {"standard_output_failed", Severity::Error, "write error on standard output"},
}};
constexpr const MessageForm& form_of(RunMessage kind) {
  return kRunMessages[static_cast<std::size_t>(kind)];
}

}  // namespace model_unpack
