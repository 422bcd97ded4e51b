#include "job/job_report.h"

namespace model_unpack {

void JobReport::message(const Message& message) {
  std::string line = show(message);
  if (message.form->severity != Severity::Error) return;
  spoiled_ = spoiled_ || message.form->spoils_outputs;
  if (!first_error_) first_error_ = JobError{message.form, std::move(line)};
}

}  // namespace model_unpack
