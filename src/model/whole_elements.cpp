#include "model/whole_elements.h"

#include <algorithm>

namespace model_unpack {

WholeBlock whole_block(const BlockKind& kind, const BlockRecord& record, ModelFile& model) {
  WholeBlock block;
  block.first_element = std::uint64_t{record.block_offset} + 4u * kind.count_words;
  model.seek(record.block_offset);
  unsigned char word[4];
  for (int i = 0; i < kind.count_words; ++i) {
    if (model.read(word, 4) < 4) return block;
  }
  block.count_read = true;
  block.declared = load_u32(word);
  block.present = block.declared;
  if (kind.layout.tail == Tail::None) {
    const std::uint64_t room = model.size() - block.first_element;
    block.present = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(block.declared, room / kind.element_size()));
  }
  return block;
}

}  // namespace model_unpack
