// One model's part of a batch run: its exports folder made as the run's policy says, its job
// and mesh outputs run through the run's guard, and what it did told to its report.
#pragma once

#include <optional>
#include <string>

#include "batch/batch_options.h"
#include "batch/output_plan.h"
#include "batch/run_guard.h"
#include "io/console_output.h"
#include "job/job_report.h"

namespace model_unpack {

// Model `index` of `plan` as the run shows it: its lines on `console`, or its JSON lines with
// --json. Its files take their names together when it ends, or none does when an error
// spoiled them (the earlier ones stay). Returns its first error, if any.
std::optional<JobError> report_one(const BatchOptions& options, const OutputPlan& plan,
                                   RunGuard& guard, std::size_t index,
                                   const ConsoleOutput& console);

}  // namespace model_unpack
