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

std::optional<std::uint64_t> declared_end(const BlockKind& kind, const BlockRecord& record,
                                          ModelFile& model, EndWalkAllowance& allowance) {
  // A kind known by name only has no element layout: its size is not known.
  if (kind.element_size() == 0) return std::nullopt;
  const WholeBlock block = whole_block(kind, record, model);
  if (!block.count_read) return std::nullopt;
  const ElementLayout& layout = kind.layout;
  const std::uint32_t fixed = layout.fixed_size();
  std::uint64_t end = block.first_element;
  if (layout.tail == Tail::None) return end + std::uint64_t{fixed} * block.declared;
  static_assert(FieldList::kCapacity * kTransferSize <= 1024);
  unsigned char element[1024];
  for (std::uint32_t index = 0; index < block.declared; ++index) {
    if (allowance.elements_left == 0) return std::nullopt;
    --allowance.elements_left;
    model.seek(end);
    if (model.read(element, fixed) < fixed) return end + fixed;
    end += fixed + tail_bytes(layout, element);
    if (end > model.size()) break;
  }
  return end;
}

}  // namespace model_unpack
