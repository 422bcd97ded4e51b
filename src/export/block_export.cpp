#include "export/block_export.h"

#include <cstring>
#include <string>

#include "model/model_stream.h"

namespace model_unpack {

namespace {

// Copies `units` units of N bytes through `scratch` exactly as reading and writing them one by
// one would: in bulk while the file delivers whole units, then the unit cut short by the end
// of the file (its first bytes replace the scratch's), then the scratch for every unit left.
template <std::size_t N>
void copy_units(ModelFile& model, OutputFile* out, std::array<unsigned char, N>& scratch,
                std::uint64_t units) {
  constexpr std::size_t kChunkUnits = (std::size_t{1} << 15) / N;
  std::array<unsigned char, kChunkUnits * N> chunk;
  while (units > 0) {
    const std::size_t wanted = units < kChunkUnits ? static_cast<std::size_t>(units) : kChunkUnits;
    const std::size_t delivered = model.read(chunk.data(), wanted * N);
    const std::size_t whole = delivered / N;
    if (whole > 0) {
      write_bytes(out, chunk.data(), whole * N);
      std::memcpy(scratch.data(), chunk.data() + (whole - 1) * N, N);
      units -= whole;
    }
    if (delivered == wanted * N) continue;

    // The end of the file: from here on every read delivers nothing.
    const std::size_t cut = delivered % N;
    if (cut > 0) {
      std::memcpy(scratch.data(), chunk.data() + whole * N, cut);
      write_bytes(out, scratch.data(), N);
      --units;
    }
    if (out == nullptr) return;
    const std::size_t fill = units < kChunkUnits ? static_cast<std::size_t>(units) : kChunkUnits;
    for (std::size_t i = 0; i < fill; ++i) std::memcpy(&chunk[i * N], scratch.data(), N);
    while (units > 0) {
      const std::size_t repeated =
          units < kChunkUnits ? static_cast<std::size_t>(units) : kChunkUnits;
      out->write(chunk.data(), repeated * N);
      units -= repeated;
    }
    return;
  }
}

void copy_bone(ModelFile& model, OutputFile* out, JobScratch& scratch) {
  copy_units(model, out, scratch.transfer, 3);
  read_u32(model, scratch.extra_length);  // read, never written
  copy_extra_data(model, out, scratch, scratch.extra_length);
}

void copy_collide_body(ModelFile& model, OutputFile* out, JobScratch& scratch) {
  copy_units(model, out, scratch.transfer, 1);
  scratch.two.fill(0);  // a group count that cannot be read is 0
  copy_units(model, out, scratch.two, 1);
  copy_units(model, out, scratch.four, 9ull * load_u16(scratch.two.data()));
}

// The elements of a block, `count` of them, after its count words.
void copy_elements(ElementCopy copy, std::uint32_t count, ModelFile& model, OutputFile* out,
                   JobScratch& scratch) {
  switch (copy) {
    case ElementCopy::ThreeQuads:
      copy_units(model, out, scratch.four, 3ull * count);
      break;
    case ElementCopy::ThreePairs:
      copy_units(model, out, scratch.two, 3ull * count);
      break;
    case ElementCopy::OneName:
      copy_units(model, out, scratch.transfer, count);
      break;
    case ElementCopy::OnePair:
      copy_units(model, out, scratch.two, count);
      break;
    case ElementCopy::Bone:
      scratch.extra_length = 0;  // once per block, not per bone
      for (std::uint32_t i = 0; i < count; ++i) copy_bone(model, out, scratch);
      break;
    case ElementCopy::CollideBody:
      for (std::uint32_t i = 0; i < count; ++i) copy_collide_body(model, out, scratch);
      break;
  }
}

void export_block(const ExportSpec& row, BlockRecord& record, ModelFile& model, JobScratch& scratch,
                  const ConsoleOutput& console, const std::optional<FileIdentity>& info_file) {
  console_print(console, row.start_line);
  std::unique_ptr<OutputFile> out;
  if (info_file && identify_path(row.export_file) == info_file) {
    console_print(
        console, "Error: export file " + std::string(row.export_file) + " is the output file :(\n");
  } else {
    out = OutputFile::create(row.export_file);
    if (out == nullptr) {
      console_print(console, "Error opening export file " + std::string(row.export_file) + " :(\n");
    }
  }

  model.seek(record.block_offset);
  // The count words go through the record itself; the last one read bounds the loop.
  for (int word = 0; word < row.count_words; ++word) {
    read_u32(model, record.element_count);
    unsigned char bytes[4];
    store_u32(record.element_count, bytes);
    write_bytes(out.get(), bytes, sizeof bytes);
  }
  copy_elements(row.copy, record.element_count, model, out.get(), scratch);

  if (out == nullptr) return;  // its failure has been told; no completion line
  out.reset();
  if (!row.completion_line.empty()) console_print(console, row.completion_line);
}

}  // namespace

void export_blocks(BlockDirectory& directory, ModelFile& model, JobScratch& scratch,
                   const ConsoleOutput& console, const std::optional<FileIdentity>& info_file) {
  for (const ExportSpec& row : kExportSpecs) {
    BlockRecord* record = find_block(directory, row.block_name);
    if (record != nullptr) export_block(row, *record, model, scratch, console, info_file);
  }
}

}  // namespace model_unpack
