// The info file: a byte-exact text report of the header and every block of the directory.
#pragma once

#include <cstdint>

#include "model/console_output.h"
#include "model/file_access.h"
#include "model/job_scratch.h"
#include "model/model_format.h"

namespace model_unpack {

// Writes `count` line breaks, each the two bytes CR LF.
void write_line_breaks(std::uint32_t count, OutputFile& out);

void write_info_file(OutputFile& info, const char* info_name, const char* model_name,
                     const HeaderBuffer& header, ModelFile& model, BlockDirectory& directory,
                     JobScratch& scratch, const ConsoleOutput& console);

}  // namespace model_unpack
