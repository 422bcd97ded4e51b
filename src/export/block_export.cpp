#include "export/block_export.h"

#include <string>

#include "model/block_kinds.h"

namespace model_unpack {

namespace {

// How many elements a copy handled, and whether their claim was cut by the budget (a bone or
// body cut short counts as handled).
struct Copied {
  std::uint32_t handled;
  bool cut;
};

Copied copy_bones(std::uint32_t count, UnitReader& reader, ElementBudget& budget, OutputFile* out) {
  reader.extra_length = 0;  // once per block, not per bone
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!budget.take(kBoneFixedSize)) return {i, true};
    reader.copy_units(reader.transfer, 3, out);
    reader.read_u32(reader.extra_length);  // read, never written
    const std::uint64_t extra = budget.take_up_to(reader.extra_length);
    reader.copy_extra_data(extra, out);
    if (extra < reader.extra_length) return {i + 1, true};
  }
  return {count, false};
}

Copied copy_collision_bodies(std::uint32_t count, UnitReader& reader, ElementBudget& budget,
                           OutputFile* out) {
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!budget.take(kBodyFixedSize)) return {i, true};
    reader.copy_units(reader.transfer, 1, out);
    reader.two.fill(0);  // a group count that cannot be read is 0
    reader.copy_units(reader.two, 1, out);
    const std::uint16_t groups = load_u16(reader.two.data());
    const std::uint32_t fitting = budget.take_elements(groups, kBodyPointGroupSize);
    reader.copy_units(reader.four, 9ull * fitting, out);
    if (fitting < groups) return {i + 1, true};
  }
  return {count, false};
}

// The elements of a block, `count` of them, after its count words.
Copied copy_elements(const BlockKind& row, std::uint32_t count, UnitReader& reader,
                     OutputFile* out) {
  ElementBudget budget(reader.file().size());
  if (row.copy == ElementCopy::Bone) return copy_bones(count, reader, budget, out);
  if (row.copy == ElementCopy::CollisionBody) return copy_collision_bodies(count, reader, budget, out);
  const std::uint32_t handled = budget.take_elements(count, row.element_size);
  switch (row.copy) {
    case ElementCopy::ThreeQuads:
      reader.copy_units(reader.four, 3ull * handled, out);
      break;
    case ElementCopy::ThreePairs:
      reader.copy_units(reader.two, 3ull * handled, out);
      break;
    case ElementCopy::OneName:
      reader.copy_units(reader.transfer, handled, out);
      break;
    case ElementCopy::OnePair:
      reader.copy_units(reader.two, handled, out);
      break;
    case ElementCopy::None:
    case ElementCopy::Bone:
    case ElementCopy::CollisionBody:
      break;
  }
  return {handled, handled < count};
}

// False when an error line was printed.
bool export_block(const BlockKind& row, BlockRecord& record, UnitReader& reader,
                  const ExportTarget& target, const ConsoleOutput& console) {
  console_print(console, row.start_line);
  std::unique_ptr<OutputFile> out;
  if (target.info_file &&
      target.files->identify(target.directory, row.export_file) == target.info_file) {
    console_print(
        console, "Error: export file " + std::string(row.export_file) + " is the output file :(\n");
  } else {
    out = OutputFile::create(row.export_file, target.directory, 0600, *target.files);
    if (out == nullptr) {
      console_print(console, "Error opening export file " + std::string(row.export_file) + " :(\n");
    }
  }

  reader.seek(record.block_offset);
  // The count words go through the record itself; the last one read bounds the loop.
  for (int word = 0; word < row.count_words; ++word) {
    reader.read_u32(record.element_count);
    unsigned char bytes[4];
    store_u32(record.element_count, bytes);
    write_bytes(out.get(), bytes, sizeof bytes);
  }
  const Copied copied = copy_elements(row, record.element_count, reader, out.get());

  if (out == nullptr) return false;  // its failure has been told; no completion line
  if (copied.cut) {
    console_print(console, "Warning: " + std::string(row.name) +
                               " claims more data than the model file has; " +
                               std::to_string(copied.handled) + " of " +
                               std::to_string(record.element_count) + " elements copied\n");
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

bool export_blocks(BlockDirectory& directory, UnitReader& reader, const ExportTarget& target,
                   const ConsoleOutput& console) {
  bool all_well = true;
  for (const BlockKind& row : kBlockKinds) {
    if (row.export_file == nullptr) continue;
    BlockRecord* record = find_block(directory, row.name);
    if (record != nullptr) all_well &= export_block(row, *record, reader, target, console);
  }
  return all_well;
}

}  // namespace model_unpack
