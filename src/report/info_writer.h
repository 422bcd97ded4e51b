// The info file: a byte-exact text report of the header and every block of the directory.
#pragma once

#include <cstdint>

#include "io/buffered_file.h"
#include "io/console_output.h"
#include "model/model_format.h"
#include "model/unit_reader.h"

namespace model_unpack {

// Writes `count` line breaks, each the two bytes CR LF.
void write_line_breaks(std::uint32_t count, OutputFile& out);

// Writes the whole report and closes `info`; false when it printed an error line because a
// write or the close failed.
bool write_info_file(OutputFile& info, const char* info_name, const char* model_name,
                     const HeaderBuffer& header, UnitReader& reader, BlockDirectory& directory,
                     const ConsoleOutput& console);

}  // namespace model_unpack
