#include "batch/batch_run.h"

#include <fcntl.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch/captured_lines.h"
#include "batch/ordered_executor.h"
#include "batch/run_guard.h"
#include "io/buffered_file.h"
#include "io/console_output.h"
#include "io/diagnostics.h"
#include "io/interrupt_watch.h"
#include "io/threads.h"
#include "job/conversion_job.h"
#include "job/mesh_outputs.h"

namespace model_unpack {

namespace {

// A folder that does not exist holds no export files: a job given this handle deletes none.
constexpr int kNoFolder = -1;

// The job's part: export files into the exports folder (if any), the info file. False when the
// job did not run.
bool run_job_part(const JobOutputs& outputs, FileSystem& files, Diagnostics& said) {
  const std::string& folder = *outputs.exports_folder;
  if (folder.empty()) {
    run_conversion_job(outputs.names, JobSettings{said, AT_FDCWD, files});
    return true;
  }
  const std::string shown = shown_name(said.console(), folder);
  if (files.is_link(AT_FDCWD, folder.c_str())) {
    said.error(ErrorKind::ExportsFolderIsLink,
               "Error: exports folder " + shown + " is a symbolic link :(");
    return false;
  }
  // The folder the tool makes for a model's export files must be a real one, never a link.
  int directory = files.open_folder(folder.c_str());
  // A model that cannot be read gets no folder; its job says why.
  if (directory < 0 && ModelFile::open(outputs.names.model.c_str(), files) != nullptr) {
    files.make_folders(folder);
    directory = files.open_folder(folder.c_str());
    if (directory < 0) {
      said.error(ErrorKind::CreatingExportsFolder,
                 "Error creating exports folder " + shown + " :(");
      return true;
    }
  }
  run_conversion_job(outputs.names,
                     JobSettings{said, directory < 0 ? kNoFolder : directory, files});
  if (directory >= 0) files.close(directory);
  return true;
}

// One model's job and mesh outputs, their lines going to `console`; the first error, if any.
std::optional<JobError> run_one(const BatchOptions& options, const JobOutputs& outputs,
                                FileSystem& files, const ConsoleOutput& console) {
  Diagnostics said(console);
  const bool job_ran = !outputs.info || run_job_part(outputs, files, said);
  if (outputs.glb || outputs.png) {
    write_mesh_outputs(outputs, MeshSettings{options.png_size, outputs.info && job_ran, files},
                       said);
  }
  return said.first_error();
}

// A job's lines, kept until it is this model's turn to be printed, and its first error.
// Without `lines`, they went straight to standard output, or could not be kept (then `error`
// says so, and is printed in their place).
struct CapturedJob {
  std::unique_ptr<CapturedLines> lines;
  std::optional<JobError> error;
};

ConsoleOutput batch_console(std::FILE* stream, bool terminal) {
  return ConsoleOutput{stream, terminal, true};
}

// With -q the lines are not kept: only the first error is said. A job whose lines cannot be
// kept does not run.
CapturedJob capture(const BatchOptions& options, const JobOutputs& outputs, FileSystem& files,
                    bool terminal) {
  auto lines = std::make_unique<CapturedLines>(!options.quiet);
  if (lines->stream() == nullptr) {
    const std::string model = shown_name(batch_console(nullptr, terminal), outputs.names.model);
    return {nullptr, JobError{ErrorKind::KeepingLines,
                              "Error: no room to keep the lines of " + model + " :("}};
  }
  std::optional<JobError> error =
      run_one(options, outputs, files, batch_console(lines->stream(), terminal));
  lines->close();
  return {std::move(lines), std::move(error)};
}

// "[k/N] NAME" on standard error, kept up to date in place.
class Progress {
 public:
  Progress(const BatchStreams& streams, std::size_t total)
      : err_(streams.err), total_(total), shown_(streams.err_is_terminal && total >= 2) {}

  void show(std::size_t index, const std::string& model) {
    if (!shown_) return;
    std::fprintf(err_, "\r[%zu/%zu] %s\033[K", index + 1, total_, escaped_text(model).c_str());
    std::fflush(err_);
  }
  bool shown() const { return shown_; }
  void erase() {
    if (!shown_) return;
    std::fputs("\r\033[K", err_);
    std::fflush(err_);
  }

 private:
  std::FILE* err_;
  std::size_t total_;
  bool shown_;
};

// Prints each job's lines as one block, in the order the models were given; with -q, a job's
// first error line is said on standard error.
class JobPrinter {
 public:
  JobPrinter(const BatchOptions& options, const BatchStreams& streams, Progress& progress)
      : options_(options), streams_(streams), progress_(progress) {}

  void print(std::size_t index, const CapturedJob& job) {
    failed_ += job.error.has_value();
    if (options_.quiet) {
      if (job.error) say_error(index, *job.error);
      return;
    }
    if (job.error && job.error->kind == ErrorKind::KeepingLines) {
      progress_.erase();
      std::fprintf(streams_.out, "%s\n", job.error->line.c_str());
    } else if (job.lines != nullptr && !job.lines->empty()) {
      progress_.erase();
      job.lines->replay(streams_.out);
    }
    std::fflush(streams_.out);
  }
  std::size_t failed() const { return failed_; }

 private:
  void say_error(std::size_t index, const JobError& error) {
    progress_.erase();
    std::fprintf(streams_.err, "model-unpack-batch: %s: %s\n",
                 escaped_text(options_.models[index]).c_str(), escaped_text(error.line).c_str());
    std::fflush(streams_.err);
  }

  const BatchOptions& options_;
  const BatchStreams& streams_;
  Progress& progress_;
  std::size_t failed_ = 0;
};

// How many jobs run at once: one on this thread, or that many workers while this one prints.
std::size_t workers_for(const BatchOptions& options, std::size_t total) {
  const std::size_t jobs = std::min<std::size_t>(options.jobs, total);
  return MODEL_UNPACK_THREADS && jobs > 1 ? jobs : 0;
}

}  // namespace

int run_batch(const BatchOptions& options, const OutputPlan& plan, const BatchStreams& streams,
              FileSystem& files) {
  const std::size_t total = plan.models.size();
  const std::size_t workers = workers_for(options, total);
  Progress progress(streams, total);
  RunGuard guard(files, total);
  InterruptWatch watch([&] {
    const std::size_t finished = guard.stop_and_clean_up();
    progress.erase();
    std::fprintf(streams.err,
                 "model-unpack-batch: interrupted: %zu of %zu models converted; unfinished "
                 "outputs removed\n",
                 finished, total);
    std::fflush(streams.err);
  });
  JobPrinter printer(options, streams, progress);
  // With one job at a time, lines reach standard output as they are printed, unless they would
  // break the progress line on the same terminal, or only the error lines are wanted.
  const bool direct =
      workers == 0 && !options.quiet && !(progress.shown() && streams.out_is_terminal);

  OrderedJobs<CapturedJob> jobs;
  jobs.count = total;
  jobs.run = [&](std::size_t i) -> std::optional<CapturedJob> {
    if (!guard.begin(i)) return std::nullopt;
    FileSystem& model_files = guard.files_of(i);
    CapturedJob job;
    if (direct) {
      job.error = run_one(options, plan.models[i], model_files,
                          batch_console(streams.out, streams.out_is_terminal));
    } else {
      job = capture(options, plan.models[i], model_files, streams.out_is_terminal);
    }
    guard.finish(i);
    return job;
  };
  jobs.waiting = [&](std::size_t i) { progress.show(i, options.models[i]); };
  jobs.print = [&](std::size_t i, CapturedJob& job) {
    printer.print(i, job);
    // Nobody reads on: the run ends as the broken pipe would have ended it.
    if (std::ferror(streams.out) && watch.reader_gone(fileno(streams.out))) {
      watch.end_by_broken_pipe();
    }
  };
  ExecutorThreads threads{workers, 2 * workers, [&](std::size_t started, const std::string& why) {
                            std::fprintf(streams.err,
                                         "model-unpack-batch: only %zu jobs at once: %s\n",
                                         std::max<std::size_t>(started, 1), why.c_str());
                            std::fflush(streams.err);
                          }};
  run_in_order(jobs, threads);
  progress.erase();

  if (printer.failed() > 0) {
    std::fprintf(streams.err, "model-unpack-batch: %zu of %zu models had errors\n",
                 printer.failed(), total);
  }
  return printer.failed() > 0 ? 1 : 0;
}

}  // namespace model_unpack
