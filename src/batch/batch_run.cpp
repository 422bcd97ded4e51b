#include "batch/batch_run.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch/batch_messages.h"
#include "batch/job_lines.h"
#include "batch/json_report.h"
#include "batch/model_run.h"
#include "batch/ordered_executor.h"
#include "batch/progress.h"
#include "batch/run_guard.h"
#include "io/console_text.h"
#include "io/interrupt_watch.h"
#include "io/threads.h"

namespace model_unpack {

namespace {

// With -q a job's lines are not shown, unless they are its JSON lines.
bool lines_shown(const BatchOptions& options) {
  return !options.quiet || options.json;
}

// Each job's lines, made when the job or the printer first needs them, gone once printed.
class LinesOfJobs {
 public:
  LinesOfJobs(std::size_t total, JobLines::Settings settings)
      : settings_(std::move(settings)), lines_(total) {}

  JobLines& of(std::size_t index) {
    const UniqueLock<Mutex> lock(mutex_);
    if (!lines_[index]) lines_[index] = std::make_unique<JobLines>(settings_);
    return *lines_[index];
  }
  void forget(std::size_t index) {
    const UniqueLock<Mutex> lock(mutex_);
    lines_[index].reset();
  }

 private:
  const JobLines::Settings settings_;
  Mutex mutex_;
  std::vector<std::unique_ptr<JobLines>> lines_;
};

struct JobResult {
  std::optional<JobError> error;
};

// Prints each job's lines as one block, in the order the models were given; with -q, a job's
// first error line is said on standard error.
class JobPrinter {
 public:
  JobPrinter(const BatchOptions& options, const BatchStreams& streams, Progress& progress,
             OutputGate& gate)
      : options_(options), streams_(streams), progress_(progress), gate_(gate) {}

  void print(std::size_t index, const JobResult& job, LinesOfJobs& lines) {
    failed_ += job.error.has_value();
    if (options_.quiet && job.error) say_error(index, *job.error);
    if (!lines_shown(options_)) return;
    lines.of(index).flush();
    lines.forget(index);
    std::fflush(streams_.out);
  }
  std::size_t failed() const { return failed_; }

 private:
  void say_error(std::size_t index, const JobError& error) {
    if (!gate_.enter()) return;
    progress_.erase();
    say_model_error(streams_.err, options_.models[index], error);
    gate_.leave();
  }

  const BatchOptions& options_;
  const BatchStreams& streams_;
  Progress& progress_;
  OutputGate& gate_;
  std::size_t failed_ = 0;
};

// How many jobs run at once: one on this thread, or that many workers while this one prints.
std::size_t workers_for(const BatchOptions& options, std::size_t total) {
  const std::size_t jobs = std::min<std::size_t>(options.jobs, total);
  return kHaveThreads && jobs > 1 ? jobs : 0;
}

std::string interrupted_line(std::size_t finished, std::size_t total) {
  return tool_line(render_message(
      {form_of(RunMessage::Interrupted), {{"finished", finished}, {"models", total}}}));
}

}  // namespace

std::string tool_line(std::string_view text) {
  return std::string(kToolName) + ": " + std::string(text) + "\n";
}

void say_tool_line(std::FILE* stream, std::string_view text) {
  const std::string line = tool_line(text);
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}

void say_line(std::FILE* stream, const Message& message) {
  say_tool_line(stream, render_message(message));
}

void say_model_error(std::FILE* stream, std::string_view model, const JobError& error) {
  say_tool_line(stream, escaped_text(model) + ": " + escaped_text(error.line));
}

int end_of_run(const BatchOptions& options, const BatchStreams& streams, std::size_t models,
               std::size_t failed) {
  if (options.json) {
    const std::string line = json_summary_line(models, failed);
    std::fwrite(line.data(), 1, line.size(), streams.out);
  }
  if (failed > 0) {
    say_line(streams.err,
             {form_of(RunMessage::ModelsFailed), {{"failed", failed}, {"models", models}}});
  }
  return failed > 0 ? 1 : 0;
}

int run_batch(const BatchOptions& options, const OutputPlan& plan, const BatchStreams& streams,
              FileSystem& files) {
  const std::size_t total = plan.models.size();
  const std::size_t workers = workers_for(options, total);
  Progress progress(streams, total);
  OutputGate gate;
  InterruptWatch* watching = nullptr;  // set once the watch below is made
  RunGuard guard(files, total, [&] {
    if (watching != nullptr) watching->answer_pending();
  });
  InterruptWatch watch([&] {
    // Shut first: a job that fails because its files are being removed must not say so.
    gate.close();
    const std::size_t finished = guard.stop_and_clean_up();
    const std::string line = interrupted_line(finished, total);
    say_without_waiting(streams.err,
                        progress.shown() ? std::string(Progress::kErase) + line : line);
  });
  watching = &watch;
  JobPrinter printer(options, streams, progress, gate);
  // Lines reach standard output as the job at the head prints them, unless they would break
  // the progress line on the same terminal: then they are kept until the job ends (or they
  // pass the limit).
  LinesOfJobs lines(total, JobLines::Settings{streams.out, std::size_t{1} << 20,
                                              progress.shown() && streams.out_is_terminal,
                                              [&] { progress.erase(); }, &gate});
  DiscardedLines discarded;

  OrderedJobs<JobResult> jobs;
  jobs.count = total;
  jobs.run = [&](std::size_t i) -> std::optional<JobResult> {
    if (!guard.begin(i)) return std::nullopt;
    LineSink* sink = lines_shown(options) ? &lines.of(i) : static_cast<LineSink*>(&discarded);
    const ConsoleOutput console{streams.out, streams.out_is_terminal, true, sink};
    return JobResult{report_one(options, plan, guard, i, console)};
  };
  jobs.waiting = [&](std::size_t i) {
    watch.answer_pending();
    progress.show(i, options.models[i]);
    if (lines_shown(options)) lines.of(i).lead();
  };
  jobs.print = [&](std::size_t i, JobResult& job) {
    printer.print(i, job, lines);
    // Nobody reads on: the run ends as the broken pipe would have ended it.
    if (std::ferror(streams.out) && watch.reader_gone(fileno(streams.out))) {
      watch.end_by_broken_pipe();
    }
  };
  ExecutorThreads threads{
      workers, 2 * workers, [&](std::size_t started, const std::string& why) {
        const std::size_t jobs = std::max<std::size_t>(started, 1);
        say_line(streams.err, {form_of(RunMessage::FewerJobs), {{"jobs", jobs}, {"why", why}}});
        std::fflush(streams.err);
      }};
  run_in_order(jobs, threads);
  progress.erase();

  // Once interrupted, the run's last line is the watcher's, and the watcher ends the process:
  // the summary must not slip in after that line while it is on its way.
  if (!gate.enter()) {
    for (;;) pause_briefly();
  }
  const int status = end_of_run(options, streams, total, printer.failed());
  gate.leave();
  return status;
}

}  // namespace model_unpack
