// A job's console lines on their way to standard output, in the order the models were given.
// The job at the head of that order writes straight through; a job behind it keeps up to a
// limit in memory and then waits for its turn. So memory stays bounded whatever a job prints
// (a directory of millions of entries), and no line ever goes through a file of its own.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "io/console_output.h"
#include "io/threads.h"

namespace model_unpack {

// Lets the message of an interrupt be the run's last line: every writer of the run's lines
// enters before it writes and leaves after; once the gate is closed nobody enters, and the
// closer waits a little for those inside.
class OutputGate {
 public:
  [[nodiscard]] bool enter();
  void leave() { --inside_; }
  void close();

 private:
  std::atomic<int> inside_{0};
  std::atomic<bool> closed_{false};
};

// Lines nobody is to see (-q).
class DiscardedLines final : public LineSink {
 public:
  void take(std::string_view) override {}
};

class JobLines final : public LineSink {
 public:
  struct Settings {
    std::FILE* out = stdout;
    std::size_t limit = std::size_t{1} << 20;  // bytes kept before the job waits its turn
    // Whether the job at the head keeps its lines too, up to the limit (so that they do not
    // break a progress line on the same terminal while it runs).
    bool head_keeps = false;
    // Called before lines first go out (on the job's thread or the printing one).
    std::function<void()> before_output = [] {};
    OutputGate* gate = nullptr;
  };
  explicit JobLines(Settings settings) : settings_(std::move(settings)) {}

  // On the job's thread.
  void take(std::string_view text) override;
  // On the printing thread: this job is at the head of the order now.
  void lead();
  // On the printing thread, once the job has ended: what it kept goes out.
  void flush();

 private:
  // Writes `text` to standard output; the caller holds the lock and leads.
  void write_out(std::string_view text);

  Settings settings_;
  Mutex mutex_;
  ConditionVariable turn_;
  std::string kept_;
  bool leading_ = false;
  bool started_ = false;  // lines have gone out
};

}  // namespace model_unpack
