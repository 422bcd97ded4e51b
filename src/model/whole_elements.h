// A block's elements as the mesh reader takes them: only those that lie whole in the file, with
// no short-read rule, since nothing past the end may reach the glb or the picture.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "io/buffered_file.h"
#include "io/loop_calls.h"
#include "model/block_kinds.h"
#include "model/element_walk.h"
#include "model/model_format.h"

namespace model_unpack {

// A block as the mesh reader takes it: only elements present whole in the file.
struct WholeBlock {
  bool count_read = false;  // false: the count word lies past the end of the file
  std::uint64_t first_element = 0;
  std::uint32_t declared = 0;
  // Of a layout without a tail, how many elements fit between the first and the end of the
  // file (at most `declared`); with one, `declared` until the walk finds out.
  std::uint32_t present = 0;
};

WholeBlock whole_block(const BlockKind& kind, const BlockRecord& record, ModelFile& model);

// The bytes of an element's tail, from its fixed part (`element`, of a layout with a tail).
inline std::uint64_t tail_bytes(const ElementLayout& layout, const unsigned char* element) {
  const std::uint32_t fixed = layout.fixed_size();
  return layout.tail == Tail::CountedGroups
             ? std::uint64_t{layout.group_size()} * load_u16(element + fixed - 2)
             : load_u32(element + fixed - 4);
}

// How many elements with a tail of their own the ends of a model's blocks may walk in all: a
// directory of many entries into one large block of bones would otherwise walk it once each.
struct EndWalkAllowance {
  std::uint64_t elements_left;
};

// The offset just past `record`'s block as its count word declares it: the count words, then
// the elements. Elements with a tail of their own are walked as far as the file holds them;
// the first that runs past its end ends the walk, with an end past the file's (the true end
// may lie further still). Nothing for a kind known by name only, when the count word is not
// in the file, or when the allowance runs out.
std::optional<std::uint64_t> declared_end(const BlockKind& kind, const BlockRecord& record,
                                          ModelFile& model, EndWalkAllowance& allowance);

// Hands `count` elements of `size` bytes, from where `model` stands, to `on_element(index,
// bytes)`: a run of them from each read, since a read per element cost more than using it.
template <typename OnElement>
std::uint32_t walk_fixed_elements(ModelFile& model, std::uint32_t count, std::uint32_t size,
                                  OnElement&& on_element) {
  const std::uint32_t per_run = std::max<std::uint32_t>(1, (64u << 10) / size);
  std::vector<unsigned char> run(std::size_t{std::min(per_run, count)} * size);
  for (std::uint32_t index = 0; index < count;) {
    const std::uint32_t elements = std::min(per_run, count - index);
    model.read(run.data(), std::size_t{elements} * size);
    const auto hand_over = [&](std::uint32_t i) {
      on_element(i, run.data() + std::size_t{i - index} * size);
    };
    each_in_one_call(index, index + elements, hand_over);
    index += elements;
  }
  return count;
}

// Hands each element of `block` that lies whole in the file to `on_element(index, bytes)`,
// and each group of a tail of groups to `on_group(bytes)`, in file order; stops at the first
// element that does not lie whole. Returns how many were handed over.
template <typename OnElement, typename OnGroup>
std::uint32_t walk_whole_elements(ModelFile& model, const WholeBlock& block,
                                  const ElementLayout& layout, OnElement&& on_element,
                                  OnGroup&& on_group) {
  static_assert(FieldList::kCapacity * kTransferSize <= 1024);
  unsigned char element[1024];
  const std::uint32_t fixed = layout.fixed_size();
  const std::uint32_t group = layout.group_size();
  std::uint64_t offset = block.first_element;
  model.seek(offset);
  if (layout.tail == Tail::None)
    return walk_fixed_elements(model, block.present, fixed, on_element);
  std::uint32_t index = 0;
  for (; index < block.present; ++index) {
    model.seek(offset);
    if (model.read(element, fixed) < fixed) break;
    const std::uint64_t tail = tail_bytes(layout, element);
    if (offset + fixed + tail > model.size()) break;
    on_element(index, element);
    if (layout.tail == Tail::CountedGroups) {
      for (std::uint64_t done = 0; done < tail; done += group) {
        model.read(element, group);
        on_group(element);
      }
    }
    offset += fixed + tail;
  }
  return index;
}

}  // namespace model_unpack
