// Runs the conversion job on every model of a batch command line.
#pragma once

#include <cstdio>

#include "batch/batch_options.h"
#include "batch/output_plan.h"
#include "io/message.h"
#include "job/job_report.h"

namespace model_unpack {

struct BatchStreams {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  bool out_is_terminal = false;
  bool err_is_terminal = false;
};

// Runs every job of `plan` and returns the exit status: 0, or 1 when some job printed an
// error line. SIGINT, SIGTERM and SIGHUP stop the run, remove the unfinished models' outputs
// and end the process by that signal.
int run_batch(const BatchOptions& options, const OutputPlan& plan, const BatchStreams& streams,
              FileSystem& files);

// "model-unpack-batch: TEXT", the form of every line of the run as a whole (standard error).
std::string tool_line(std::string_view text);
void say_tool_line(std::FILE* stream, std::string_view text);
// `message`'s line as a line of the run.
void say_line(std::FILE* stream, const Message& message);
// With -q, a model's first error: "model-unpack-batch: MODEL: LINE", both escaped.
void say_model_error(std::FILE* stream, std::string_view model, const JobError& error);

// The run's last words: the summary with --json, the count of failed models when some failed;
// returns the exit status (0, or 1 when some model failed).
int end_of_run(const BatchOptions& options, const BatchStreams& streams, std::size_t models,
               std::size_t failed);

// --plan: the words that are paths and each model's "model" event, as JSON Lines; status 0.
int print_plan(const ParsedCommandLine& parsed, std::FILE* out);

// Lists each model's header and directory (--list), writing no file; the exit status: 0, or
// 1 when some model could not be listed whole.
int list_models(const BatchOptions& options, const BatchStreams& streams, FileSystem& files);

}  // namespace model_unpack
