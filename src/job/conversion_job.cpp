#include "job/conversion_job.h"

#include <cstdio>
#include <string>
#include <system_error>

#include "export/block_export.h"
#include "io/buffered_file.h"
#include "io/out_of_memory.h"
#include "job/model_listing.h"
#include "model/block_directory.h"
#include "model/block_kinds.h"
#include "model/element_walk.h"
#include "report/info_writer.h"

namespace model_unpack {

namespace {

// The checks that keep a job from emptying or deleting the model file it is about to read.
bool clashes_with_outputs(const JobNames& names, const JobSettings& settings) {
  FileSystem& files = settings.files;
  const auto model = files.identify(Folder::current(), names.model.c_str());
  if (!model) return false;
  if (files.identify(Folder::current(), names.info.c_str()) == model) {
    settings.report.message({form_of(JobMessage::OutputIsInput)});
    return true;
  }
  for (const char* export_file : kExportFileDeletionOrder) {
    if (files.identify(settings.exports_directory, export_file) == model) {
      settings.report.message({form_of(JobMessage::InputIsExportFile)});
      return true;
    }
  }
  return false;
}

// The header, the directory, the export files and the info file, from the model file opened.
void convert(const JobNames& names, const JobSettings& settings, ModelFile& model,
             std::unique_ptr<OutputFile>& info) {
  JobReport& report = settings.report;
  HeaderBuffer header{};
  static_cast<void>(say_header(model, header, report));  // a cut header is the job's to show
  BlockDirectory directory = say_directory(model, report);
  read_element_counts(directory, model);

  const ExportTarget target{settings.exports_directory, info->identity(), settings.files};
  const ExportResult exported = export_blocks(directory, model, target, report);
  const InfoSource source{names.info.c_str(), names.model.c_str(),     header,
                          directory,          exported.element_counts, exported.last_values};
  write_info_file(*info, source, model, report);
  // Records first, then the info file (closed by its phase).
  directory.records.clear();
  info.reset();
}

// Out of memory part way: the info file and the export files are this job's and unfinished,
// so none is left behind.
void give_up_for_memory(const JobNames& names, const JobSettings& settings,
                        std::unique_ptr<OutputFile>& info) {
  info.reset();
  FileSystem& files = settings.files;
  static_cast<void>(files.remove(Folder::current(), names.info.c_str()));
  for (const char* export_file : kExportFileDeletionOrder) {
    static_cast<void>(files.remove(settings.exports_directory, export_file));
  }
  settings.report.message({form_of(JobMessage::OutOfMemory)});
}

}  // namespace

void say_read_failure(const ModelFile& model, const std::string& name, JobReport& report) {
  const int error = model.read_failure();
  if (error == 0) return;
  report.message(
      {form_of(JobMessage::ReadingInput),
       {MessageValue::name("model", name), {"cause", std::generic_category().message(error)}}});
}

void run_conversion_job(const JobNames& names, const JobSettings& settings) {
  JobReport& report = settings.report;
  report.job_starting(names);
  if (clashes_with_outputs(names, settings)) return;
  FileSystem& files = settings.files;

  // Whatever stood under an export file's name goes: a name with no block keeps no stale file.
  for (const char* export_file : kExportFileDeletionOrder) {
    static_cast<void>(files.remove(settings.exports_directory, export_file));
  }

  std::unique_ptr<ModelFile> model = ModelFile::open(names.model.c_str(), files);
  if (!model) {
    report.message({form_of(JobMessage::OpeningInput)});
    return;
  }
  // A link planted under the info file's name is replaced, never written through (one to the
  // model file has been refused above).
  if (files.is_link(Folder::current(), names.info.c_str()))
    static_cast<void>(files.remove(Folder::current(), names.info.c_str()));
  std::unique_ptr<OutputFile> info =
      OutputFile::create(names.info.c_str(), Folder::current(), kNewFileMode, files);
  if (!info) {
    report.message({form_of(JobMessage::OpeningOutput)});
    return;
  }

  bool converted = true;
  unless_out_of_memory([&] { convert(names, settings, *model, info); },
                       [&] {
                         give_up_for_memory(names, settings, info);
                         converted = false;
                       });
  if (converted) say_read_failure(*model, names.model, report);
}

}  // namespace model_unpack
