#include "batch/model_run.h"

#include <fcntl.h>

#include <algorithm>
#include <vector>

#include "batch/batch_messages.h"
#include "batch/json_report.h"
#include "io/out_of_memory.h"
#include "io/threads.h"
#include "job/console_report.h"
#include "job/conversion_job.h"
#include "job/mesh_outputs.h"
#include "job/model_listing.h"

namespace model_unpack {

namespace {

// The job's part: export files into the exports folder (if any), the info file. False when the
// job did not run.
bool run_job_part(const JobOutputs& outputs, FileSystem& files, JobReport& report) {
  const std::string& folder = *outputs.exports_folder;
  if (folder.empty()) {
    run_conversion_job(outputs.names, JobSettings{report, Folder::current(), files});
    return true;
  }
  const MessageValue shown = MessageValue::name("folder", folder);
  if (files.is_link(Folder::current(), folder.c_str())) {
    report.message({form_of(BatchMessage::ExportsFolderIsLink), {shown}});
    return false;
  }
  // The folder the tool makes for a model's export files must be a real one, never a link.
  Folder directory = files.open_folder(folder.c_str());
  // A model that cannot be read gets no folder; its job says why.
  if (!directory.is_open() && ModelFile::open(outputs.names.model.c_str(), files) != nullptr) {
    static_cast<void>(files.make_folders(folder));
    directory = files.open_folder(folder.c_str());
    if (!directory.is_open()) {
      report.message({form_of(BatchMessage::CreatingExportsFolder), {shown}});
      return true;
    }
  }
  // A folder that does not exist holds no export files: a job given none deletes none.
  run_conversion_job(outputs.names, JobSettings{report, directory, files});
  if (directory.is_open()) static_cast<void>(files.close(directory.handle()));
  return true;
}

// The cores the run's jobs leave idle draw the picture with its own: a model alone gets them
// all (up to four bands).
unsigned picture_threads(const BatchOptions& options) {
  const std::size_t jobs =
      std::max<std::size_t>(1, std::min<std::size_t>(options.jobs, options.models.size()));
  return std::clamp<unsigned>(hardware_threads() / static_cast<unsigned>(jobs), 1, 4);
}

// One model's job and mesh outputs, told to `report`. Its files take their names together
// when it ends, or none does when an error spoiled them (the earlier ones stay). Returns the
// names that could not take theirs.
std::vector<std::string> run_one(const BatchOptions& options, const JobOutputs& outputs,
                                 RunGuard& guard, std::size_t index, JobReport& report) {
  FileSystem& files = guard.files_of(index);
  unless_out_of_memory(
      [&] {
        // Scripts learn what the model holds also from a run that only draws it.
        if (!outputs.info && options.json) describe_model(outputs.names.model, report, files);
        const bool job_ran = !outputs.info || run_job_part(outputs, files, report);
        if ((outputs.glb || outputs.png) && !report.spoiled()) {
          const MeshSettings mesh{options.png_size, outputs.info && job_ran, files,
                                  picture_threads(options)};
          write_mesh_outputs(outputs, mesh, report);
        }
      },
      [&] { report.message({form_of(JobMessage::OutOfMemory)}); });
  std::vector<std::string> not_placed = guard.end(index, !report.spoiled());
  for (const std::string& name : not_placed) {
    report.message({form_of(BatchMessage::PlacingOutput), {MessageValue::name("file", name)}});
  }
  return not_placed;
}

}  // namespace

std::optional<JobError> report_one(const BatchOptions& options, const OutputPlan& plan,
                                   RunGuard& guard, std::size_t index,
                                   const ConsoleOutput& console) {
  if (!options.json) {
    ConsoleReport report(console);
    static_cast<void>(run_one(options, plan.models[index], guard, index, report));
    return report.first_error();
  }
  JsonReport report(*console.sink, options.models[index], plan.models[index]);
  report.begin();
  const std::vector<std::string> not_placed =
      run_one(options, plan.models[index], guard, index, report);
  report.end(!report.spoiled(), not_placed);
  return report.first_error();
}

}  // namespace model_unpack
