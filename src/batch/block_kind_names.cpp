// The names of the block kinds the tool knows, for the page that runs this module: it marks
// each block of a directory known or unknown from the same table the job uses. One name a
// line, then a zero byte, in the module's memory from the start (no constructor runs for it).
#include <array>
#include <cstddef>

#include "model/block_kinds.h"

namespace {

using model_unpack::BlockKind;
using model_unpack::kBlockKinds;

constexpr std::size_t kNamesSize = [] {
  std::size_t size = 1;
  for (const BlockKind& kind : kBlockKinds) size += kind.name.size() + 1;
  return size;
}();

constexpr std::array<char, kNamesSize> kNames = [] {
  std::array<char, kNamesSize> names{};
  std::size_t at = 0;
  for (const BlockKind& kind : kBlockKinds) {
    for (const char c : kind.name) names[at++] = c;
    names[at++] = '\n';
  }
  return names;
}();

}  // namespace

extern "C" __attribute__((export_name("block_kind_names"))) const char* block_kind_names() {
  return kNames.data();
}
