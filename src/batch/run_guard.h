// What lets a batch run be interrupted without leaving a half-written file under a final name:
// every file a job creates or removes goes through the guard, which remembers what it created
// for the model it belongs to, and refuses to create, remove or begin anything once the run is
// stopping.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "io/file_system.h"
#include "io/threads.h"

namespace model_unpack {

class RunGuard {
 public:
  RunGuard(FileSystem& files, std::size_t models);
  ~RunGuard();
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;

  // Marks `model`'s job as begun; false, with nothing begun, once the run is stopping.
  bool begin(std::size_t model);
  void finish(std::size_t model);

  // The file system a model's job works through.
  FileSystem& files_of(std::size_t model);

  // Runs `make` (which creates or removes something for a model) unless the run is stopping;
  // false when it is.
  bool creating(const std::function<void()>& make);

  // Stops the run: from now on nothing new begins, is created or removed, and what each job
  // that had begun and not finished created is removed (a file renamed into place whole
  // stays). Returns how many models finished.
  std::size_t stop_and_clean_up();

 private:
  class ModelFiles;
  enum class State { Waiting, Running, Finished };
  struct Model;

  SharedMutex mutex_;  // shared while a file is made; exclusive while the run stops
  bool stopping_ = false;
  std::vector<std::unique_ptr<Model>> models_;
};

}  // namespace model_unpack
