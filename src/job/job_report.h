// What a job does, told as typed events to a report: the console's lines and the batch's JSON
// lines are two renderings of the same events. The report also keeps what a caller asks after
// the job: its first error, and whether an error spoiled its outputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "export/block_export.h"
#include "io/message.h"
#include "job/file_names.h"
#include "model/model_format.h"
#include "report/info_writer.h"

namespace model_unpack {

// What the job and its mesh outputs can say, as the catalogue states it; the phases below
// the job say theirs in their own tables (kExportMessages, kWritingInfo, kMeshMessages).
enum class JobMessage {
  OutputIsInput,
  InputIsExportFile,
  OpeningInput,
  OpeningInputNamed,
  OpeningOutput,
  ReadingInput,
  OutOfMemory,
  DirectoryCutShort,
  MeshOutputIsInput,
  WritingMeshOutput,
  RemovingPreview,
  FarVertices,
  PreviewFramesBulk,
  PreviewLeavesOut,
  NoPreview,
  NoPreviewEarlierRemoved,
};
inline constexpr std::array<MessageForm, 16> kJobMessages{{
    {"output_is_input", Severity::Error, "Error: output file is the input file :("},
    {"input_is_export_file", Severity::Error, "Error: input file is an export file :("},
    {"opening_input", Severity::Error, "Error opening input file :("},
    {"opening_input", Severity::Error, "Error opening input file {model} :("},
    {"opening_output", Severity::Error, "Error opening output file :("},
    {"reading_input", Severity::Error, "Error reading input file {model}: {cause} :(", true},
    {"out_of_memory", Severity::Error, "Error: not enough memory :(", true},
    {"directory_cut_short", Severity::Error, "Error: the file ends before its directory does :("},
    {"mesh_output_is_input", Severity::Error, "Error: {file} is the input file :("},
    {"writing_mesh_output", Severity::Error, "Error writing {file} :("},
    {"removing_preview", Severity::Error,
     "Error: no preview picture {file}: the model has no vertices, and the {file} of an earlier "
     "run cannot be removed :("},
    {"far_vertices", Severity::Warning,
     "Warning: {vertices:vertex lies|vertices lie} far from the rest of the model: viewers that "
     "frame the whole glb show the model small"},
    {"preview_frames_bulk", Severity::Warning,
     "Warning: the preview frames the bulk of the model; {vertices:vertex lies|vertices lie} "
     "outside it"},
    {"preview_leaves_out", Severity::Warning,
     "Warning: the preview leaves out {triangles:triangle|triangles}: drawing them would take "
     "too long"},
    {"no_preview", Severity::Warning,
     "Warning: no preview picture {file}: the model has no vertices"},
    {"no_preview_earlier_removed", Severity::Warning,
     "Warning: no preview picture {file}: the model has no vertices; the {file} of an earlier "
     "run is removed"},
}};
constexpr const MessageForm& form_of(JobMessage kind) {
  return kJobMessages[static_cast<std::size_t>(kind)];
}

enum class FileRole { Export, Info, Glb, Png };

struct MeshCounts {
  std::uint64_t vertices = 0;
  std::uint64_t triangles = 0;
  std::uint64_t bodies = 0;
};

// A first error as the caller needs it: its form, and its line as the console showed it.
struct JobError {
  const MessageForm* form;
  std::string line;  // without its line end
};

// What a directory entry's block declares, where the file holds it.
struct EntryFacts {
  std::optional<std::uint32_t> count;  // the element count word the job reads
  std::optional<std::uint64_t> end;    // just past the block, as declared_end() gives it
};

class JobReport : public ExportReport, public InfoReport {
 public:
  // A job on `names` begins.
  virtual void job_starting(const JobNames& names) = 0;
  // A listing of `model` alone begins.
  virtual void listing_starting(const std::string& model) = 0;
  // The header as read: `read` of its 28 bytes were in the file (the rest are zero).
  virtual void header(const HeaderBuffer& header, std::size_t read) = 0;
  // Whether directory entries should come with what their blocks declare (EntryFacts).
  virtual bool wants_counts() const = 0;
  // A named directory entry, as the walk meets it; `facts` filled in when asked for.
  virtual void directory_entry(const BlockRecord& entry, const EntryFacts& facts) = 0;
  // The directory's end: past the terminating entry, or the file's end when it cuts the
  // directory short; `file_size` is the model file's.
  virtual void directory_read(const BlockDirectory& directory, std::uint64_t file_size) = 0;
  // The mesh read for the glb and the picture.
  virtual void mesh_read(const MeshCounts& counts) = 0;
  virtual void glb_written(const std::string& name, std::uint64_t bytes,
                           const MeshCounts& counts) = 0;
  virtual void preview_written(const std::string& name, std::uint64_t bytes,
                               std::uint32_t size) = 0;

  void message(const Message& message) final;

  bool had_error() const { return first_error_.has_value(); }
  // Whether an error that spoils the outputs was said.
  bool spoiled() const { return spoiled_; }
  const std::optional<JobError>& first_error() const { return first_error_; }

 protected:
  ~JobReport() = default;
  // Shows a warning or an error; returns the line as shown, without its line end.
  virtual std::string show(const Message& message) = 0;

 private:
  std::optional<JobError> first_error_;
  bool spoiled_ = false;
};

}  // namespace model_unpack
