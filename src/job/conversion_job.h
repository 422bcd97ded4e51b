// One whole conversion job: lists the header and directory, exports the known blocks and
// writes the info file. Every outcome is told on the console.
#pragma once

#include <fcntl.h>

#include "io/diagnostics.h"
#include "io/file_system.h"
#include "job/file_names.h"

namespace model_unpack {

struct JobSettings {
  Diagnostics& said;  // where the job tells what it does
  // The folder of the 13 export files. Jobs running at once each get their own.
  int exports_directory = AT_FDCWD;
  FileSystem& files;
};

// Everything the job has to say goes to `settings.said`, its first error included.
void run_conversion_job(const JobNames& names, const JobSettings& settings);

}  // namespace model_unpack
