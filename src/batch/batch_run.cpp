#include "batch/batch_run.h"

#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "batch/captured_lines.h"
#include "batch/run_guard.h"
#include "io/buffered_file.h"
#include "io/console_output.h"
#include "io/threads.h"
#include "job/conversion_job.h"
#include "job/mesh_outputs.h"

namespace model_unpack {

namespace {

// A folder that does not exist holds no export files: a job given this handle deletes none.
constexpr int kNoFolder = -1;

// The job's part: export files into the exports folder (if any), the info file. False when the
// job did not run.
bool run_job_part(const PlannedModel& planned, RunGuard& guard, std::size_t index,
                  const ConsoleOutput& console, bool& had_error) {
  FileSystem& files = guard.files_of(index);
  const std::string& folder = planned.exports_folder;
  if (folder.empty()) {
    had_error = run_conversion_job(planned.names, JobSettings{console, AT_FDCWD, &files}).had_error;
    return true;
  }
  if (files.is_link(AT_FDCWD, folder.c_str())) {
    console_print(console, "Error: exports folder " + shown_name(console, folder) +
                               " is a symbolic link :(\n");
    had_error = true;
    return false;
  }
  // The folder the tool makes for a model's export files must be a real one, never a link.
  int directory = files.open_folder(folder.c_str());
  // A model that cannot be read gets no folder; its job says why.
  if (directory < 0 && ModelFile::open(planned.names.model.c_str(), files) != nullptr) {
    files.make_folders(folder);
    directory = files.open_folder(folder.c_str());
    if (directory < 0) {
      console_print(console,
                    "Error creating exports folder " + shown_name(console, folder) + " :(\n");
      had_error = true;
      return true;
    }
  }
  had_error =
      run_conversion_job(planned.names,
                         JobSettings{console, directory < 0 ? kNoFolder : directory, &files})
          .had_error;
  if (directory >= 0) files.close(directory);
  return true;
}

// One model's job and mesh outputs, their console lines going to `console`; true when an
// error line was printed.
bool run_one(const BatchOptions& options, const PlannedModel& planned, RunGuard& guard,
             std::size_t index, const ConsoleOutput& console) {
  guard.set_state(index, RunGuard::State::Running);
  bool had_error = false;
  const bool job_ran = options.no_job || run_job_part(planned, guard, index, console, had_error);
  if (options.glb || options.png) {
    const MeshOutputs outputs{options.glb, options.png, options.png_size,
                              !options.no_job && job_ran, &guard.files_of(index)};
    had_error |= !write_mesh_outputs(planned.names, outputs, console);
  }
  guard.set_state(index, RunGuard::State::Finished);
  return had_error;
}

// A job's console lines, kept until it is this model's turn to be printed.
struct CapturedJob {
  std::unique_ptr<CapturedLines> lines;
  bool had_error = false;
  bool done = false;
};

ConsoleOutput batch_console(std::FILE* stream, bool terminal) {
  return ConsoleOutput{stream, terminal, true};
}

// With -q only the first error line is kept.
CapturedJob capture(const BatchOptions& options, const PlannedModel& planned, RunGuard& guard,
                    std::size_t index, bool terminal) {
  auto lines = std::make_unique<CapturedLines>(!options.quiet);
  if (lines->stream() == nullptr) std::abort();
  const bool had_error =
      run_one(options, planned, guard, index, batch_console(lines->stream(), terminal));
  lines->close();
  return {std::move(lines), had_error, true};
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

}  // namespace

int run_batch(const BatchOptions& options, const OutputPlan& plan, const BatchStreams& streams,
              FileSystem& files) {
  const std::size_t total = plan.models.size();
  std::size_t workers = std::min<std::size_t>(options.jobs, total);
  Progress progress(streams, total);
  std::size_t failed = 0;
  RunGuard guard(files, plan.models);
  const InterruptWatch watch(guard, total, [&] { progress.erase(); });

  // Each job's lines are printed as one block, in the order the models were given; with -q,
  // a job's first error line is said on standard error.
  auto print_job = [&](std::size_t index, const CapturedJob& job) {
    failed += job.had_error;
    if (options.quiet) {
      if (!job.had_error) return;
      progress.erase();
      std::fprintf(streams.err, "model-unpack-batch: %s: %s\n",
                   escaped_text(options.models[index]).c_str(),
                   escaped_text(job.lines->first_error_line()).c_str());
      std::fflush(streams.err);
      return;
    }
    if (job.lines->empty()) return;
    progress.erase();
    job.lines->replay(streams.out);
    std::fflush(streams.out);
  };

  std::vector<CapturedJob> jobs(total);
  Mutex mutex;
  ConditionVariable finished;
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i; (i = next++) < total;) {
      CapturedJob job = capture(options, plan.models[i], guard, i, streams.out_is_terminal);
      const UniqueLock<Mutex> lock(mutex);
      jobs[i] = std::move(job);
      finished.notify_all();
    }
  };
  // Without threads on this platform, the jobs run one after another, with the same output.
  if (!MODEL_UNPACK_THREADS) workers = 1;
  std::vector<WorkerThread> threads(workers > 1 ? workers : 0);
  std::size_t started = 0;
  std::string why;
  while (started < threads.size() && threads[started].start(work, &why)) ++started;
  if (started < threads.size()) {
    // Run with the threads there are; with none, on this one.
    threads.resize(started);
    std::fprintf(streams.err, "model-unpack-batch: only %zu jobs at once: %s\n",
                 std::max<std::size_t>(threads.size(), 1), why.c_str());
    std::fflush(streams.err);
    workers = threads.size();
  }

  if (workers <= 1) {
    // Lines reach standard output as they are printed, unless they would break the progress
    // line on the same terminal, or only the error lines are wanted.
    const bool direct = !options.quiet && !(progress.shown() && streams.out_is_terminal);
    for (std::size_t i = 0; i < total; ++i) {
      progress.show(i, options.models[i]);
      if (direct) {
        const bool had_error = run_one(options, plan.models[i], guard, i,
                                       batch_console(streams.out, streams.out_is_terminal));
        std::fflush(streams.out);
        failed += had_error;
      } else {
        print_job(i, capture(options, plan.models[i], guard, i, streams.out_is_terminal));
      }
    }
  } else {
    for (std::size_t i = 0; i < total; ++i) {
      progress.show(i, options.models[i]);
      CapturedJob job;
      {
        UniqueLock<Mutex> lock(mutex);
        finished.wait(lock, [&] { return jobs[i].done; });
        job = std::move(jobs[i]);
      }
      print_job(i, job);
    }
  }
  threads.clear();
  progress.erase();

  if (failed > 0) {
    std::fprintf(streams.err, "model-unpack-batch: %zu of %zu models had errors\n", failed, total);
  }
  return failed > 0 ? 1 : 0;
}

}  // namespace model_unpack
