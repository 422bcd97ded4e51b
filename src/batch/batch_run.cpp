#include "batch/batch_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "io/console_output.h"
#include "job/conversion_job.h"
#include "job/mesh_outputs.h"

namespace model_unpack {

namespace {

// Creates each missing folder of `path` (mode 0755 before umask) and opens the last one.
int open_exports_folder(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0755);
  }
  mkdir(path.c_str(), 0755);
  return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// The job's part: export files into the exports folder (if any), the info file.
bool run_job_part(const BatchOptions& options, const JobNames& names, const ConsoleOutput& console,
                  FileSystem& files) {
  if (!options.exports_dir) {
    return run_conversion_job(names, JobSettings{console, AT_FDCWD, &files}).had_error;
  }
  const std::string folder = *options.exports_dir + "/" + std::string(path_stem(names.model));
  const int directory = open_exports_folder(folder);
  if (directory < 0) {
    console_print(console, "Error creating exports folder " + folder + " :(\n");
    return true;
  }
  const bool had_error =
      run_conversion_job(names, JobSettings{console, directory, &files}).had_error;
  close(directory);
  return had_error;
}

// One model's job and mesh outputs, their console lines going to `console`; true when an
// error line was printed.
bool run_one(const BatchOptions& options, const std::string& model, const ConsoleOutput& console,
             FileSystem& files) {
  const JobNames names = derive_path_names(model);
  bool had_error = !options.no_job && run_job_part(options, names, console, files);
  if (options.glb || options.png) {
    const MeshOutputs outputs{options.glb, options.png, options.png_size, !options.no_job, &files};
    had_error |= !write_mesh_outputs(names, outputs, console);
  }
  return had_error;
}

// A job's console lines, kept until it is this model's turn to be printed.
struct CapturedJob {
  std::string lines;
  bool had_error = false;
  bool done = false;
};

std::string capture(const BatchOptions& options, const std::string& model, bool terminal,
                    FileSystem& files, bool& had_error) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* stream = open_memstream(&text, &size);
  if (stream == nullptr) std::abort();
  had_error = run_one(options, model, ConsoleOutput{stream, terminal}, files);
  std::fclose(stream);
  std::string lines(text, size);
  std::free(text);
  return lines;
}

// "[k/N] NAME" on standard error, kept up to date in place.
class Progress {
 public:
  Progress(const BatchStreams& streams, std::size_t total)
      : err_(streams.err), total_(total), shown_(streams.err_is_terminal && total >= 2) {}

  void show(std::size_t index, const std::string& model) {
    if (!shown_) return;
    std::fprintf(err_, "\r[%zu/%zu] %s\033[K", index + 1, total_, model.c_str());
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

int run_batch(const BatchOptions& options, const BatchStreams& streams) {
  const std::size_t total = options.models.size();
  const std::size_t workers = std::min<std::size_t>(options.jobs, total);
  Progress progress(streams, total);
  std::size_t failed = 0;

  // Each job's lines are printed as one block, in the order the models were given.
  auto print_block = [&](const std::string& lines) {
    if (options.quiet || lines.empty()) return;
    progress.erase();
    std::fwrite(lines.data(), 1, lines.size(), streams.out);
    std::fflush(streams.out);
  };

  if (workers <= 1) {
    // Lines reach standard output as they are printed, unless they would break the progress
    // line on the same terminal.
    const bool direct = !options.quiet && !(progress.shown() && streams.out_is_terminal);
    for (std::size_t i = 0; i < total; ++i) {
      progress.show(i, options.models[i]);
      bool had_error = false;
      if (direct) {
        had_error = run_one(options, options.models[i],
                            ConsoleOutput{streams.out, streams.out_is_terminal}, system_files());
        std::fflush(streams.out);
      } else {
        print_block(capture(options, options.models[i], streams.out_is_terminal, system_files(),
                            had_error));
      }
      failed += had_error;
    }
  } else {
    std::vector<CapturedJob> jobs(total);
    std::mutex mutex;
    std::condition_variable finished;
    std::atomic<std::size_t> next{0};
    // Jobs running side by side already keep the cores busy: a second thread per job for
    // writing would only add hand-overs between them.
    FileSystem& files = system_files_one_thread();
    auto work = [&] {
      for (std::size_t i; (i = next++) < total;) {
        bool had_error = false;
        std::string lines =
            capture(options, options.models[i], streams.out_is_terminal, files, had_error);
        const std::lock_guard lock(mutex);
        jobs[i] = CapturedJob{std::move(lines), had_error, true};
        finished.notify_all();
      }
    };
    std::vector<std::jthread> threads;
    for (std::size_t w = 0; w < workers; ++w) threads.emplace_back(work);
    for (std::size_t i = 0; i < total; ++i) {
      progress.show(i, options.models[i]);
      CapturedJob job;
      {
        std::unique_lock lock(mutex);
        finished.wait(lock, [&] { return jobs[i].done; });
        job = std::move(jobs[i]);
      }
      print_block(job.lines);
      failed += job.had_error;
    }
  }
  progress.erase();

  if (failed > 0) {
    std::fprintf(streams.err, "model-unpack-batch: %zu of %zu models had errors\n", failed, total);
  }
  return failed > 0 ? 1 : 0;
}

}  // namespace model_unpack
