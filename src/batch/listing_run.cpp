#include <string>

#include "batch/batch_run.h"
#include "batch/job_lines.h"
#include "batch/json_report.h"
#include "batch/output_plan.h"
#include "io/console_output.h"
#include "job/console_report.h"
#include "job/job_outputs.h"
#include "job/model_listing.h"

namespace model_unpack {

namespace {

// Straight to standard output: a listing runs one model at a time.
class Written final : public LineSink {
 public:
  explicit Written(std::FILE* out) : out_(out) {}
  void take(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), out_); }

 private:
  std::FILE* out_;
};

std::optional<JobError> list_one(const BatchOptions& options, const std::string& model,
                                 const JobOutputs& outputs, const BatchStreams& streams,
                                 FileSystem& files) {
  if (options.json) {
    Written written(streams.out);
    JsonReport report(written, model, outputs);
    report.begin();
    list_model(outputs.names.model, report, files);
    report.end(true, {});
    return report.first_error();
  }
  DiscardedLines unsaid;  // with -q only the errors are said
  ConsoleReport report(
      ConsoleOutput{streams.out, streams.out_is_terminal, true, options.quiet ? &unsaid : nullptr});
  list_model(outputs.names.model, report, files);
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
  const std::vector<JobOutputs> outputs = outputs_of_models(options);
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const std::string& model = options.models[i];
    const std::optional<JobError> error = list_one(options, model, outputs[i], streams, files);
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
