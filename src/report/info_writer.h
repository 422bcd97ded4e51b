// The info file: a byte-exact text report of the header and every block of the directory.
#pragma once

#include <cstdint>
#include <vector>

#include "io/buffered_file.h"
#include "io/diagnostics.h"
#include "model/element_walk.h"
#include "model/model_format.h"

namespace model_unpack {

// Writes `count` line breaks, each the two bytes CR LF.
void write_line_breaks(std::uint32_t count, OutputFile& out);

// What the info file is written from, besides the model file itself.
struct InfoSource {
  const char* info_name;
  const char* model_name;
  const HeaderBuffer& header;
  const BlockDirectory& directory;
  // Each kept record's element count as the export phase left it, in the records' order.
  const std::vector<std::uint32_t>& element_counts;
  // The last values the export phase read; the info phase goes on from them.
  const LastValues& last_values;
};

// Writes the whole report and closes `info`; false when it printed an error line because a
// write or the close failed.
bool write_info_file(OutputFile& info, const InfoSource& source, ModelFile& model,
                     Diagnostics& said);

}  // namespace model_unpack
