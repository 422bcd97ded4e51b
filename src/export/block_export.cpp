#include "export/block_export.h"

#include <string>

#include "model/model_stream.h"

namespace model_unpack {

namespace {

template <std::size_t N>
void copy_unit(ModelFile& model, OutputFile* out, std::array<unsigned char, N>& scratch) {
  model.read(scratch.data(), N);
  write_bytes(out, scratch.data(), N);
}

void copy_quads(ModelFile& model, OutputFile* out, JobScratch& scratch, std::uint64_t units) {
  for (std::uint64_t i = 0; i < units; ++i) copy_unit(model, out, scratch.four);
}

void copy_bone(ModelFile& model, OutputFile* out, JobScratch& scratch) {
  for (int field = 0; field < 3; ++field) copy_unit(model, out, scratch.transfer);
  read_u32(model, scratch.extra_length);  // read, never written
  copy_extra_data(model, out, scratch, scratch.extra_length);
}

void copy_collide_body(ModelFile& model, OutputFile* out, JobScratch& scratch) {
  copy_unit(model, out, scratch.transfer);
  scratch.two.fill(0);  // a group count that cannot be read is 0
  copy_unit(model, out, scratch.two);
  const std::uint64_t groups = load_u16(scratch.two.data());
  copy_quads(model, out, scratch, 9 * groups);
}

void copy_element(ElementCopy copy, ModelFile& model, OutputFile* out, JobScratch& scratch) {
  switch (copy) {
    case ElementCopy::ThreeQuads:
      copy_quads(model, out, scratch, 3);
      break;
    case ElementCopy::ThreePairs:
      for (int i = 0; i < 3; ++i) copy_unit(model, out, scratch.two);
      break;
    case ElementCopy::OneName:
      copy_unit(model, out, scratch.transfer);
      break;
    case ElementCopy::OnePair:
      copy_unit(model, out, scratch.two);
      break;
    case ElementCopy::Bone:
      copy_bone(model, out, scratch);
      break;
    case ElementCopy::CollideBody:
      copy_collide_body(model, out, scratch);
      break;
  }
}

void export_block(const ExportSpec& spec, BlockRecord& record, ModelFile& model,
                  JobScratch& scratch, const ConsoleOutput& console,
                  const std::optional<FileIdentity>& info_file) {
  console_print(console, spec.start_line);
  std::unique_ptr<OutputFile> out;
  if (info_file && identify_path(spec.export_file) == info_file) {
    console_print(console, "Error: export file " + std::string(spec.export_file) +
                               " is the output file :(\n");
  } else {
    out = OutputFile::create(spec.export_file);
    if (out == nullptr) {
      console_print(console,
                    "Error opening export file " + std::string(spec.export_file) + " :(\n");
    }
  }

  model.seek(record.block_offset);
  // The count words go through the record itself; the last one read bounds the loop.
  for (int word = 0; word < spec.count_words; ++word) {
    read_u32(model, record.element_count);
    unsigned char bytes[4];
    store_u32(record.element_count, bytes);
    write_bytes(out.get(), bytes, sizeof bytes);
  }
  if (spec.copy == ElementCopy::Bone) scratch.extra_length = 0;
  for (std::uint32_t i = 0; i < record.element_count; ++i) {
    copy_element(spec.copy, model, out.get(), scratch);
  }

  if (out == nullptr) return;  // its failure has been told; no completion line
  out.reset();
  if (!spec.completion_line.empty()) console_print(console, spec.completion_line);
}

}  // namespace

void export_blocks(BlockDirectory& directory, ModelFile& model, JobScratch& scratch,
                   const ConsoleOutput& console, const std::optional<FileIdentity>& info_file) {
  for (const ExportSpec& spec : kExportSpecs) {
    BlockRecord* record = find_block(directory, spec.block_name);
    if (record != nullptr) export_block(spec, *record, model, scratch, console, info_file);
  }
}

}  // namespace model_unpack
