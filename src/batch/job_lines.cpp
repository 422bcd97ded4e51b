#include "batch/job_lines.h"

#include "io/out_of_memory.h"

namespace model_unpack {

void JobLines::take(std::string_view text) {
  UniqueLock<Mutex> lock(mutex_);
  const bool streaming = leading_ && (started_ || !settings_.head_keeps);
  if (!streaming && kept_.size() + text.size() <= settings_.limit) {
    bool kept = true;
    // No room to keep them: they wait for their turn with the rest.
    unless_out_of_memory([&] { kept_.append(text); }, [&] { kept = false; });
    if (kept) return;
  }
  turn_.wait(lock, [&] { return leading_; });
  write_out(kept_);
  std::string().swap(kept_);
  write_out(text);
}

void JobLines::lead() {
  const UniqueLock<Mutex> lock(mutex_);
  leading_ = true;
  turn_.notify_all();
}

void JobLines::flush() {
  const UniqueLock<Mutex> lock(mutex_);
  leading_ = true;
  write_out(kept_);
  std::string().swap(kept_);
}

void JobLines::write_out(std::string_view text) {
  if (text.empty() || (settings_.gate != nullptr && !settings_.gate->enter())) return;
  if (!started_) settings_.before_output();
  started_ = true;
  std::fwrite(text.data(), 1, text.size(), settings_.out);
  if (settings_.gate != nullptr) settings_.gate->leave();
}

bool OutputGate::enter() {
  ++inside_;
  if (!closed_) return true;
  --inside_;
  return false;
}

void OutputGate::close() {
  closed_ = true;
  // A writer held up by a reader that stalls is not waited for long.
  for (int i = 0; i < 500 && inside_ > 0; ++i) pause_briefly();
}

}  // namespace model_unpack
