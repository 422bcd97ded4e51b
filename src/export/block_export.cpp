#include "export/block_export.h"

#include <string>

#include "model/block_kinds.h"

namespace model_unpack {

namespace {

void export_block(const BlockKind& kind, const BlockRecord& record, std::uint32_t& element_count,
                  ElementWalk& walk, const ExportTarget& target, ExportReport& report) {
  report.export_starting(kind);
  const MessageValue file{"file", kind.export_file};
  std::unique_ptr<OutputFile> out;
  if (target.info_file &&
      target.files.identify(target.directory, kind.export_file) == target.info_file) {
    report.message({form_of(ExportMessage::ExportIsOutput), {file}});
  } else {
    out = OutputFile::create(kind.export_file, target.directory, kNewFileMode, target.files);
    if (out == nullptr) report.message({form_of(ExportMessage::OpeningExport), {file}});
  }

  // The count words are read in place into the count the directory read; the last one read
  // bounds the loop.
  element_count = walk.read_count_words(kind, record.block_offset, element_count, out.get());
  ElementBudget budget(walk.file().size());
  const CopiedElements copied = walk.copy_elements(kind.layout, element_count, budget, out.get());

  if (out == nullptr) return;  // its failure has been told; no completion line
  if (copied.cut_by_budget) {
    report.message(
        {form_of(ExportMessage::ExportCutShort),
         {{"block", std::string(kind.name)}, {"copied", copied.count}, {"count", element_count}}});
  }
  // Written out and closed before the job says it is done, so a failure is never told as one.
  const std::uint64_t bytes = out->written();
  if (!out->close()) {
    report.message({form_of(ExportMessage::WritingExport), {file}});
    return;
  }
  report.export_written(kind, bytes);
}

}  // namespace

ExportResult export_blocks(const BlockDirectory& directory, ModelFile& model,
                           const ExportTarget& target, ExportReport& report) {
  ExportResult exported;
  for (const BlockRecord& record : directory.records)
    exported.element_counts.push_back(record.element_count);
  ElementWalk walk(model, exported.last_values);
  for (const BlockKind& kind : kBlockKinds) {
    if (kind.export_file == nullptr) continue;
    for (std::size_t i = 0; i < directory.records.size(); ++i) {
      if (directory.records[i].name() != kind.name) continue;
      export_block(kind, directory.records[i], exported.element_counts[i], walk, target, report);
      break;
    }
  }
  return exported;
}

}  // namespace model_unpack
