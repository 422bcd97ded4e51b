#include "model/block_directory.h"

#include "model/unit_reader.h"

namespace model_unpack {

void init_block_record(BlockRecord& record) {
  record.block_offset = 0;
  record.block_name.fill('\0');
}

BlockRecord* find_block(BlockDirectory& directory, std::string_view name) {
  for (BlockRecord& record : directory.records) {
    if (record.name() == name) return &record;
  }
  return nullptr;
}

BlockDirectory read_block_directory(ModelFile& model) {
  BlockDirectory directory;
  for (;;) {
    BlockRecord record;
    init_block_record(record);
    model.read(record.block_name.data(), kNameSize);
    read_u32(model, record.block_offset);
    // The end of the file leaves the name empty, so it ends the directory like a terminator.
    if (record.block_name[0] == '\0') break;
    directory.records.push_back(record);
  }
  return directory;
}

void read_element_counts(BlockDirectory& directory, ModelFile& model) {
  for (BlockRecord& record : directory.records) {
    model.seek(record.block_offset);
    read_u32(model, record.element_count);
  }
}

}  // namespace model_unpack
