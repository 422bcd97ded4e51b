#include <string>

#include "batch/batch_run.h"
#include "batch/json_report.h"
#include "io/console_output.h"
#include "job/console_report.h"
#include "job/file_names.h"
#include "job/job_outputs.h"
#include "job/model_listing.h"

namespace model_unpack {

namespace {

// With -q only the errors are said.
class Unsaid final : public LineSink {
 public:
  void take(std::string_view) override {}
};

// Straight to standard output: a listing runs one model at a time.
class Written final : public LineSink {
 public:
  explicit Written(std::FILE* out) : out_(out) {}
  void take(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), out_); }

 private:
  std::FILE* out_;
};

std::optional<JobError> list_one(const BatchOptions& options, const std::string& model,
                                 const BatchStreams& streams, FileSystem& files) {
  const std::string path = derive_path_names(model).model;
  if (options.json) {
    Written written(streams.out);
    const JobOutputs outputs =
        outputs_of(derive_path_names(model), OutputChoice{false, std::nullopt, false, false});
    JsonReport report(written, model, outputs);
    report.begin();
    list_model(path, report, files);
    report.end(true, {});
    return report.first_error();
  }
  Unsaid unsaid;
  ConsoleReport report(
      ConsoleOutput{streams.out, streams.out_is_terminal, true, options.quiet ? &unsaid : nullptr});
  list_model(path, report, files);
  return report.first_error();
}

}  // namespace

int print_plan(const ParsedCommandLine& parsed, std::FILE* out) {
  std::string lines = json_arguments_line(parsed.path_words);
  const std::vector<JobOutputs> outputs = outputs_of_models(parsed.options);
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    lines += json_model_line(parsed.options.models[i], outputs[i]);
  }
  std::fwrite(lines.data(), 1, lines.size(), out);
  return 0;
}

int list_models(const BatchOptions& options, const BatchStreams& streams, FileSystem& files) {
  std::size_t failed = 0;
  for (const std::string& model : options.models) {
    const std::optional<JobError> error = list_one(options, model, streams, files);
    if (!error) continue;
    ++failed;
    if (options.quiet) {
      std::fflush(streams.out);
      say_model_error(streams.err, model, *error);
    }
  }
  std::fflush(streams.out);
  return end_of_run(options, streams, options.models.size(), failed);
}

}  // namespace model_unpack
