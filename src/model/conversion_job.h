#pragma once

#include "model/console_output.h"
#include "model/file_names.h"

namespace model_unpack {

// One whole job for a typed name: lists the header and directory, exports the known blocks and
// writes the info file. Every outcome is told on the console; `typed_name` may gain ".zmdl".
void process_model_file(NameBuffer& typed_name, const ConsoleOutput& console);

}  // namespace model_unpack
