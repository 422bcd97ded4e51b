#include <string>

#include "batch/batch_run.h"
#include "io/console_output.h"
#include "io/diagnostics.h"
#include "job/file_names.h"
#include "job/model_listing.h"

namespace model_unpack {

namespace {

// With -q only the errors are said.
class Unsaid final : public LineSink {
 public:
  void take(std::string_view) override {}
};

}  // namespace

int list_models(const BatchOptions& options, const BatchStreams& streams, FileSystem& files) {
  Unsaid unsaid;
  std::size_t failed = 0;
  for (const std::string& model : options.models) {
    Diagnostics said(ConsoleOutput{streams.out, streams.out_is_terminal, true,
                                   options.quiet ? &unsaid : nullptr});
    list_model(derive_path_names(model).model, said, files);
    if (!said.first_error()) continue;
    ++failed;
    if (options.quiet) {
      std::fprintf(streams.err, "model-unpack-batch: %s: %s\n", escaped_text(model).c_str(),
                   escaped_text(said.first_error()->line).c_str());
    }
  }
  std::fflush(streams.out);
  if (failed > 0) {
    std::fprintf(streams.err, "model-unpack-batch: %zu of %zu models had errors\n", failed,
                 options.models.size());
  }
  return failed > 0 ? 1 : 0;
}

}  // namespace model_unpack
