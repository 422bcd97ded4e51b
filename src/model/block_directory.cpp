#include "model/block_directory.h"

#include "model/block_kinds.h"
#include "model/element_walk.h"

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

DirectoryWalk::DirectoryWalk(ModelFile& model) : model_(model) {
  model_.seek(kHeaderSize);
}

std::optional<BlockRecord> DirectoryWalk::next() {
  BlockRecord record;
  init_block_record(record);
  std::size_t got = model_.read(record.block_name.data(), kNameSize);
  unsigned char offset[4] = {};
  got += model_.read(offset, sizeof offset);
  record.block_offset = load_u32(offset);
  cut_short_ = got < kNameSize + sizeof offset;
  // The end of the file leaves the name empty, so it ends the directory like a terminator.
  if (record.block_name[0] == '\0') return std::nullopt;
  record.slot = slot_++;
  return record;
}

BlockDirectory read_block_directory(ModelFile& model,
                                    const std::function<void(const BlockRecord&)>& on_entry) {
  BlockDirectory directory;
  DirectoryWalk walk(model);
  while (const std::optional<BlockRecord> record = walk.next()) {
    if (on_entry) on_entry(*record);
    ++directory.entry_count;
    // Only names of the table can be looked up, so at most one record per kind is kept.
    if (block_kind(record->name()) != nullptr && find_block(directory, record->name()) == nullptr)
      directory.records.push_back(*record);
  }
  directory.cut_short = walk.cut_short();
  return directory;
}

void read_element_count(BlockRecord& record, ModelFile& model) {
  model.seek(record.block_offset);
  read_u32(model, record.element_count);
}

void read_element_counts(BlockDirectory& directory, ModelFile& model) {
  for (BlockRecord& record : directory.records) read_element_count(record, model);
}

}  // namespace model_unpack
