#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "io/buffered_file.h"
#include "model/model_format.h"

namespace model_unpack {

// The directory's entries one by one, from the first (right after the header) to the
// terminating entry or the end of the file. It holds one entry at a time.
class DirectoryWalk {
 public:
  explicit DirectoryWalk(ModelFile& model);
  // The next named entry, its element count not yet read; nothing at the end.
  std::optional<BlockRecord> next();
  // Whether the file ended before the terminating entry.
  bool cut_short() const { return cut_short_; }

 private:
  ModelFile& model_;
  std::uint32_t slot_ = 0;
  bool cut_short_ = false;
};

// Walks the directory, calling `on_entry` for every named entry, and keeps the first entry of
// each known block name.
BlockDirectory read_block_directory(ModelFile& model,
                                    const std::function<void(const BlockRecord&)>& on_entry = {});

// Reads a block's first payload word into its record's element count.
void read_element_count(BlockRecord& record, ModelFile& model);

// The same for every record kept.
void read_element_counts(BlockDirectory& directory, ModelFile& model);

}  // namespace model_unpack
