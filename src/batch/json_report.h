// A job's events as JSON Lines (--json): one object a line, each with an "event" field, in
// the form docs/report.schema.json states. The files a job writes are told once they stand
// under their names, after the job has ended.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch/batch_options.h"
#include "io/console_output.h"
#include "job/job_outputs.h"
#include "job/job_report.h"

namespace model_unpack {

class JsonReport final : public JobReport {
 public:
  // `model` as the command line named it; `outputs` what its run writes.
  JsonReport(LineSink& sink, const std::string& model, const JobOutputs& outputs);

  // The "model" event.
  void begin();
  // The files kept (all but `not_placed`, none without `kept`), the mesh, the warnings and
  // errors, then the "end" event.
  void end(bool kept, const std::vector<std::string>& not_placed);

  void job_starting(const JobNames&) override {}
  void listing_starting(const std::string&) override {}
  void header(const HeaderBuffer& header, std::size_t read) override;
  bool wants_counts() const override { return true; }
  void directory_entry(const BlockRecord& entry, const EntryFacts& facts) override;
  void directory_read(const BlockDirectory& directory, std::uint64_t file_size) override;
  void export_starting(const BlockKind&) override {}
  void export_written(const BlockKind& kind, std::uint64_t bytes) override;
  void info_starting() override {}
  void info_section(std::uint32_t slot, std::uint64_t start, std::uint64_t end) override;
  void info_written(std::uint64_t bytes) override;
  void mesh_read(const MeshCounts& counts) override { mesh_ = counts; }
  void glb_written(const std::string& name, std::uint64_t bytes, const MeshCounts&) override;
  void preview_written(const std::string& name, std::uint64_t bytes, std::uint32_t) override;

 private:
  struct Written {
    FileRole role;
    std::string path;
    std::uint64_t bytes;
  };

  std::string show(const Message& message) override;

  LineSink& sink_;
  const std::string& model_;
  const JobOutputs& outputs_;
  std::vector<Written> written_;
  std::optional<MeshCounts> mesh_;
  std::vector<std::string> messages_;  // as JSON lines
};

// The "model" event of `model` (as the command line named it), whose run writes `outputs`.
std::string json_model_line(const std::string& model, const JobOutputs& outputs);

// The "arguments" line of --plan: which words of the command line hold paths.
std::string json_arguments_line(const std::vector<PathWord>& path_words);

// The run's last line: how many models there were and how many failed.
std::string json_summary_line(std::size_t models, std::size_t failed);

}  // namespace model_unpack
