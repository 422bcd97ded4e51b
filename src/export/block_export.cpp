#include "export/block_export.h"

#include <string>

#include "model/block_kinds.h"

namespace model_unpack {

namespace {

// False when an error line was printed.
bool export_block(const BlockKind& row, const BlockRecord& record, std::uint32_t& element_count,
                  ElementWalk& walk, const ExportTarget& target, const ConsoleOutput& console) {
  console_print(console, row.start_line);
  std::unique_ptr<OutputFile> out;
  if (target.info_file &&
      target.files.identify(target.directory, row.export_file) == target.info_file) {
    console_print(
        console, "Error: export file " + std::string(row.export_file) + " is the output file :(\n");
  } else {
    out = OutputFile::create(row.export_file, target.directory, kNewFileMode, target.files);
    if (out == nullptr) {
      console_print(console, "Error opening export file " + std::string(row.export_file) + " :(\n");
    }
  }

  // The count words are read in place into the count the directory read; the last one read
  // bounds the loop.
  element_count = walk.read_count_words(row, record.block_offset, element_count, out.get());
  ElementBudget budget(walk.file().size());
  const Walked copied = walk.copy_elements(row.layout, element_count, budget, out.get());

  if (out == nullptr) return false;  // its failure has been told; no completion line
  if (copied.cut) {
    console_print(console, "Warning: " + std::string(row.name) +
                               " claims more data than the model file has; " +
                               std::to_string(copied.handled) + " of " +
                               std::to_string(element_count) + " elements copied\n");
  }
  // Written out and closed before the row says it is done, so a failure is never told as one.
  if (!out->close()) {
    console_print(console, "Error writing export file " + std::string(row.export_file) + " :(\n");
    return false;
  }
  if (!row.completion_line.empty()) console_print(console, row.completion_line);
  return true;
}

}  // namespace

ExportHandOver export_blocks(const BlockDirectory& directory, ModelFile& model,
                             const ExportTarget& target, const ConsoleOutput& console) {
  ExportHandOver hand_over;
  for (const BlockRecord& record : directory.records)
    hand_over.element_counts.push_back(record.element_count);
  ElementWalk walk(model, hand_over.last_values);
  for (const BlockKind& row : kBlockKinds) {
    if (row.export_file == nullptr) continue;
    for (std::size_t i = 0; i < directory.records.size(); ++i) {
      if (directory.records[i].name() != row.name) continue;
      hand_over.all_well &= export_block(row, directory.records[i], hand_over.element_counts[i],
                                         walk, target, console);
      break;
    }
  }
  return hand_over;
}

}  // namespace model_unpack
