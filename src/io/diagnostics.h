// What a job tells as it goes: progress lines, warnings and errors, each printed on its console
// at once. The first error is also kept as a value (its kind and its line), so a caller that
// wants it need not look for it in the printed text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "io/console_output.h"

namespace model_unpack {

enum class ErrorKind {
  OutputIsInput,          // the info file would be the model file
  InputIsExportFile,      // the model file is one of the export files
  OpeningInput,           // the model file cannot be opened
  OpeningOutput,          // the info file cannot be created
  ExportIsOutput,         // an export file would be the info file
  OpeningExport,          // an export file cannot be created
  WritingExport,          // a write to an export file failed
  WritingInfo,            // a write to the info file failed
  ExportsFolderIsLink,    // the model's exports folder is a symbolic link
  CreatingExportsFolder,  // the model's exports folder cannot be made
  MeshOutputIsInput,      // a glb or png would be the model file
  WritingMeshOutput,      // a glb or png could not be written whole
  RemovingPreview,        // a picture of an earlier run cannot be removed
  ReadingInput,           // a read of the model file failed: what was read is not the model
  OutOfMemory,            // an allocation failed: the job stopped where it was
  PlacingOutput,          // a file written whole could not take its name
  DirectoryCutShort,      // the model ends before its directory does (a listing)
};

// Whether an error leaves the job's outputs worthless (they are then not kept, where the
// caller can keep the earlier ones instead).
constexpr bool spoils_outputs(ErrorKind kind) {
  return kind == ErrorKind::ReadingInput || kind == ErrorKind::OutOfMemory;
}

struct JobError {
  ErrorKind kind;
  std::string line;  // as printed, without its line end
};

class Diagnostics {
 public:
  explicit Diagnostics(const ConsoleOutput& console) : console_(console) {}

  const ConsoleOutput& console() const { return console_; }

  // A progress line or a warning, its line end included.
  void say(std::string_view text) const { console_print(console_, text); }
  // An error line, without its line end.
  void error(ErrorKind kind, std::string line) {
    console_print(console_, line);
    console_print(console_, "\n");
    spoiled_ = spoiled_ || spoils_outputs(kind);
    if (!first_error_) first_error_ = JobError{kind, std::move(line)};
  }

  bool had_error() const { return first_error_.has_value(); }
  // Whether an error that spoils the outputs was said.
  bool spoiled() const { return spoiled_; }
  const std::optional<JobError>& first_error() const { return first_error_; }

 private:
  ConsoleOutput console_;
  std::optional<JobError> first_error_;
  bool spoiled_ = false;
};

}  // namespace model_unpack
