// The export phase: each known block copied raw into a fixed-name file of the export folder.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "io/file_identity.h"
#include "io/file_system.h"
#include "io/message.h"
#include "model/block_kinds.h"
#include "model/element_walk.h"
#include "model/model_format.h"

namespace model_unpack {

// What the export phase can say, as the catalogue states it.
enum class ExportMessage { ExportIsOutput, OpeningExport, WritingExport, ExportCutShort };
inline constexpr std::array<MessageForm, 4> kExportMessages{{
    {"export_is_output", Severity::Error, "Error: export file {file} is the output file :("},
    {"opening_export", Severity::Error, "Error opening export file {file} :("},
    {"writing_export", Severity::Error, "Error writing export file {file} :("},
    {"export_cut_short", Severity::Warning,
     "Warning: {block} claims more data than the model file has; {copied} of {count} elements "
     "copied"},
}};
constexpr const MessageForm& form_of(ExportMessage kind) {
  return kExportMessages[static_cast<std::size_t>(kind)];
}

// Where the export phase tells what it does, besides its warnings and errors.
class ExportReport : public MessageSink {
 public:
  virtual void export_starting(const BlockKind& kind) = 0;
  // The export file is written whole and closed.
  virtual void export_written(const BlockKind& kind, std::uint64_t bytes) = 0;

 protected:
  ~ExportReport() = default;
};

struct ExportTarget {
  Folder directory;  // where the export files go (Folder::current(): the current directory)
  // An export file that is this file is never opened, so the report being written cannot be
  // destroyed; its start line is still said and its block still read, so later output is unchanged.
  std::optional<FileIdentity> info_file;
  FileSystem& files;
};

// What the info phase takes over from the export phase.
struct ExportResult {
  // The last values read, which the info phase goes on from.
  LastValues last_values;
  // Each kept record's element count as the export phase's count words left it: an exported
  // edges block's is its second count word, which the info file lists as its size.
  std::vector<std::uint32_t> element_counts;
};

// Copies every known block.
ExportResult export_blocks(const BlockDirectory& directory, ModelFile& model,
                           const ExportTarget& target, ExportReport& report);

}  // namespace model_unpack
