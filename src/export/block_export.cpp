#include "export/block_export.h"

#include <string>

#include "model/block_kinds.h"

namespace model_unpack {

namespace {

void copy_bone(UnitReader& reader, OutputFile* out) {
  reader.copy_units(reader.transfer, 3, out);
  reader.read_u32(reader.extra_length);  // read, never written
  reader.copy_extra_data(reader.extra_length, out);
}

void copy_collide_body(UnitReader& reader, OutputFile* out) {
  reader.copy_units(reader.transfer, 1, out);
  reader.two.fill(0);  // a group count that cannot be read is 0
  reader.copy_units(reader.two, 1, out);
  reader.copy_units(reader.four, 9ull * load_u16(reader.two.data()), out);
}

// The elements of a block, `count` of them, after its count words.
void copy_elements(ElementCopy copy, std::uint32_t count, UnitReader& reader, OutputFile* out) {
  switch (copy) {
    case ElementCopy::None:
      break;
    case ElementCopy::ThreeQuads:
      reader.copy_units(reader.four, 3ull * count, out);
      break;
    case ElementCopy::ThreePairs:
      reader.copy_units(reader.two, 3ull * count, out);
      break;
    case ElementCopy::OneName:
      reader.copy_units(reader.transfer, count, out);
      break;
    case ElementCopy::OnePair:
      reader.copy_units(reader.two, count, out);
      break;
    case ElementCopy::Bone:
      reader.extra_length = 0;  // once per block, not per bone
      for (std::uint32_t i = 0; i < count; ++i) copy_bone(reader, out);
      break;
    case ElementCopy::CollideBody:
      for (std::uint32_t i = 0; i < count; ++i) copy_collide_body(reader, out);
      break;
  }
}

// False when an error line was printed.
bool export_block(const BlockKind& row, BlockRecord& record, UnitReader& reader,
                  const ExportTarget& target, const ConsoleOutput& console) {
  console_print(console, row.start_line);
  std::unique_ptr<OutputFile> out;
  if (target.info_file && identify_at(target.directory, row.export_file) == target.info_file) {
    console_print(
        console, "Error: export file " + std::string(row.export_file) + " is the output file :(\n");
  } else {
    out = OutputFile::create(row.export_file, target.directory);
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
  copy_elements(row.copy, record.element_count, reader, out.get());

  if (out == nullptr) return false;  // its failure has been told; no completion line
  out.reset();
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
