#include "export/block_export.h"

#include <string>

#include "model/block_kinds.h"

namespace model_unpack {

namespace {

void export_block(const BlockKind& row, const BlockRecord& record, std::uint32_t& element_count,
                  ElementWalk& walk, const ExportTarget& target, Diagnostics& said) {
  said.say(row.start_line);
  std::unique_ptr<OutputFile> out;
  if (target.info_file &&
      target.files.identify(target.directory, row.export_file) == target.info_file) {
    said.error(ErrorKind::ExportIsOutput,
               "Error: export file " + std::string(row.export_file) + " is the output file :(");
  } else {
    out = OutputFile::create(row.export_file, target.directory, kNewFileMode, target.files);
    if (out == nullptr) {
      said.error(ErrorKind::OpeningExport,
                 "Error opening export file " + std::string(row.export_file) + " :(");
    }
  }

  // The count words are read in place into the count the directory read; the last one read
  // bounds the loop.
  element_count = walk.read_count_words(row, record.block_offset, element_count, out.get());
  ElementBudget budget(walk.file().size());
  const Walked copied = walk.copy_elements(row.layout, element_count, budget, out.get());

  if (out == nullptr) return;  // its failure has been told; no completion line
  if (copied.cut) {
    said.say("Warning: " + std::string(row.name) + " claims more data than the model file has; " +
             std::to_string(copied.handled) + " of " + std::to_string(element_count) +
             " elements copied\n");
  }
  // Written out and closed before the row says it is done, so a failure is never told as one.
  if (!out->close()) {
    said.error(ErrorKind::WritingExport,
               "Error writing export file " + std::string(row.export_file) + " :(");
    return;
  }
  if (!row.completion_line.empty()) said.say(row.completion_line);
}

}  // namespace

ExportResult export_blocks(const BlockDirectory& directory, ModelFile& model,
                           const ExportTarget& target, Diagnostics& said) {
  ExportResult exported;
  for (const BlockRecord& record : directory.records)
    exported.element_counts.push_back(record.element_count);
  ElementWalk walk(model, exported.last_values);
  for (const BlockKind& row : kBlockKinds) {
    if (row.export_file == nullptr) continue;
    for (std::size_t i = 0; i < directory.records.size(); ++i) {
      if (directory.records[i].name() != row.name) continue;
      export_block(row, directory.records[i], exported.element_counts[i], walk, target, said);
      break;
    }
  }
  return exported;
}

}  // namespace model_unpack
