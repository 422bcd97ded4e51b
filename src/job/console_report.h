// A job's events as the lines of its console: what the interactive tool shows, and the
// batch tool's lines on standard output.
#pragma once

#include "io/console_output.h"
#include "job/job_report.h"

namespace model_unpack {

class ConsoleReport final : public JobReport {
 public:
  explicit ConsoleReport(const ConsoleOutput& console) : console_(console) {}

  void job_starting(const JobNames& names) override;
  void listing_starting(const std::string& model) override;
  void header(const HeaderBuffer& header, std::size_t read) override;
  bool wants_counts() const override { return false; }
  void directory_entry(const BlockRecord& entry, const EntryFacts& facts) override;
  void directory_read(const BlockDirectory&, std::uint64_t) override {}
  void export_starting(const BlockKind& kind) override;
  void export_written(const BlockKind& kind, std::uint64_t bytes) override;
  void info_starting() override;
  void info_section(std::uint32_t, std::uint64_t, std::uint64_t) override {}
  void info_written(std::uint64_t bytes) override;
  void mesh_read(const MeshCounts&) override {}
  void glb_written(const std::string& name, std::uint64_t bytes, const MeshCounts& counts) override;
  void preview_written(const std::string& name, std::uint64_t bytes, std::uint32_t size) override;

 private:
  std::string show(const Message& message) override;
  void say(std::string_view text) const { console_print(console_, text); }

  ConsoleOutput console_;
};

}  // namespace model_unpack
