// A model's header and directory as the job shows them: the job's own listing, and a listing
// alone that reads the model and writes nothing.
#pragma once

#include <string>

#include "io/buffered_file.h"
#include "io/diagnostics.h"
#include "model/model_format.h"

namespace model_unpack {

// Reads the header into `header` and says it; false when the file ends inside it.
bool say_header(ModelFile& model, HeaderBuffer& header, const Diagnostics& said);

// Reads the directory, saying each entry as it comes.
BlockDirectory say_directory(ModelFile& model, const Diagnostics& said);

// Says the model's name, its header and its directory; an error when the model cannot be
// opened, or when it ends before its directory does.
void list_model(const std::string& model_path, Diagnostics& said, FileSystem& files);

}  // namespace model_unpack
