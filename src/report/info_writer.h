// The info file: a byte-exact text report of the header and every block of the directory.
#pragma once

#include <cstdint>
#include <vector>

#include "io/buffered_file.h"
#include "io/message.h"
#include "model/element_walk.h"
#include "model/model_format.h"

namespace model_unpack {

inline constexpr MessageForm kWritingInfo{"writing_info", Severity::Error,
                                          "Error writing info file {file} :("};

// Where the info phase tells what it does, besides its error.
class InfoReport : public MessageSink {
 public:
  virtual void info_starting() = 0;
  // The bytes [start, end) of the info file show the directory entry `slot`.
  virtual void info_section(std::uint32_t slot, std::uint64_t start, std::uint64_t end) = 0;
  // The info file is written whole and closed.
  virtual void info_written(std::uint64_t bytes) = 0;

 protected:
  ~InfoReport() = default;
};

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

// Writes the whole report and closes `info`; false when a write or the close failed (said as
// an error).
bool write_info_file(OutputFile& info, const InfoSource& source, ModelFile& model,
                     InfoReport& report);

}  // namespace model_unpack
