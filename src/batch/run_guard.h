// What lets a batch run be interrupted without leaving a half-written file under a final name:
// every file a job creates is created through the guard, which remembers it for the model it
// belongs to, and refuses new files once the run is stopping.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "batch/output_plan.h"
#include "io/file_system.h"
#include "io/threads.h"

namespace model_unpack {

class RunGuard {
 public:
  RunGuard(FileSystem& files, const std::vector<PlannedModel>& plan);

  enum class State { Waiting, Running, Finished };
  ~RunGuard();
  void set_state(std::size_t model, State state);

  // The file system a model's job works through.
  FileSystem& files_of(std::size_t model);

  // Runs `make` (which creates something for `model` in the file system) unless the run is
  // stopping; false when it is.
  bool creating(const std::function<void()>& make);

  // Stops the run: from now on nothing new is created, and every output of each model whose
  // job had begun and not finished is removed. Returns how many models finished.
  std::size_t stop_and_clean_up();

 private:
  class ModelFiles;
  struct Model;

  FileSystem& files_;
  SharedMutex mutex_;  // shared while a file is made; exclusive while the run stops
  bool stopping_ = false;
  std::vector<std::unique_ptr<Model>> models_;
};

// Runs the batch's jobs with SIGINT, SIGTERM and SIGHUP (those not ignored) answered by a
// thread of their own: it stops `guard`, says so on standard error (after `before_message`,
// which erases a progress line) and then ends the process by that signal. Where there are
// neither signals nor threads (WASI), it watches nothing.
class InterruptWatch {
 public:
  InterruptWatch(RunGuard& guard, std::size_t total, std::function<void()> before_message);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

 private:
  void watch();

  RunGuard& guard_;
  std::size_t total_;
  std::function<void()> before_message_;
  std::atomic<bool> done_{false};
  bool watching_ = false;
  WorkerThread thread_;
};

}  // namespace model_unpack
