// One whole conversion job: lists the header and directory, exports the known blocks and
// writes the info file. Every outcome is told to the job's report.
#pragma once

#include <fcntl.h>

#include "io/buffered_file.h"
#include "io/file_system.h"
#include "job/file_names.h"
#include "job/job_report.h"

namespace model_unpack {

struct JobSettings {
  JobReport& report;  // where the job tells what it does
  // The folder of the export files. Jobs running at once each get their own.
  Folder exports_directory = Folder::current();
  FileSystem& files;
};

// Everything the job has to say goes to `settings.report`, its first error included. Out of
// memory, it says so and leaves neither info file nor export files.
void run_conversion_job(const JobNames& names, const JobSettings& settings);

// Says, as an error, that a read of `model` (named `name`) failed, if one did.
void say_read_failure(const ModelFile& model, const std::string& name, JobReport& report);

}  // namespace model_unpack
