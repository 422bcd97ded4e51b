// A model's header and directory as the job shows them: the job's own listing, and a listing
// alone that reads the model and writes nothing.
#pragma once

#include <string>

#include "io/buffered_file.h"
#include "job/job_report.h"
#include "model/model_format.h"

namespace model_unpack {

// Reads the header into `header` and tells it; false when the file ends inside it.
bool say_header(ModelFile& model, HeaderBuffer& header, JobReport& report);

// Reads the directory, telling each entry as it comes.
BlockDirectory say_directory(ModelFile& model, JobReport& report);

// Tells the model's name, its header and its directory; an error when the model cannot be
// opened, or when it ends before its directory does.
void list_model(const std::string& model_path, JobReport& report, FileSystem& files);

// Tells the header and the directory of a model that opens, and nothing else: what a run
// that does not take the model apart still reports of it.
void describe_model(const std::string& model_path, JobReport& report, FileSystem& files);

}  // namespace model_unpack
