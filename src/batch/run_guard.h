// What lets a batch run be interrupted, or a job fail, without leaving a half-written file under
// a final name or losing an earlier run's outputs: every file a job writes goes through the
// guard, which has it written under a hidden temporary name beside its own and puts all of a
// model's files in their places together once its job has ended. What a job removes is removed
// then too. An interrupt removes the temporaries of the models whose jobs had begun and not
// ended, and the folders made for them, and leaves everything else as it was.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "io/file_system.h"
#include "io/threads.h"

namespace model_unpack {

class RunGuard {
 public:
  // `poll` is called before each file operation of a job (to answer an interrupt where no
  // thread watches for them); it must not call back into the guard but to stop it.
  RunGuard(
      FileSystem& files, std::size_t models, std::function<void()> poll = [] {});
  ~RunGuard();
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;

  // Marks `model`'s job as begun; false, with nothing begun, once the run is stopping.
  [[nodiscard]] bool begin(std::size_t model);

  // The file system a model's job works through.
  FileSystem& files_of(std::size_t model);

  // Ends `model`'s job: with `keep`, its files take their names (those that failed to be
  // written whole are dropped) and what it removed goes; without, its files and the folders
  // made for it are removed and the earlier outputs stay. Returns the names that could not be
  // put in place (nothing happens once the run is stopping).
  [[nodiscard]] std::vector<std::string> end(std::size_t model, bool keep);

  // Stops the run: from now on nothing new begins, is created or removed, and what each job
  // that had begun and not ended created is removed, the folders last, deepest first. Returns
  // how many models ended.
  std::size_t stop_and_clean_up();

 private:
  class ModelFiles;
  enum class State { Waiting, Running, Ended };
  struct Model;

  // Runs `make` unless the run is stopping; false when it is.
  bool creating(const std::function<void()>& make);

  FileSystem& base_;
  SharedMutex mutex_;  // shared while a job changes files; exclusive while the run stops
  bool stopping_ = false;
  std::function<void()> poll_;
  std::vector<std::unique_ptr<Model>> models_;
};

}  // namespace model_unpack
