#include "batch/run_guard.h"

#include <utility>

namespace model_unpack {

// A model's view of the file system: what it creates and removes goes through the guard, and
// what it creates is remembered, so an interrupt removes exactly that.
class RunGuard::ModelFiles final : public FileSystem {
 public:
  ModelFiles(RunGuard& guard, FileSystem& base) : guard_(guard), base_(base) {}

  std::optional<FileIdentity> identify(int directory, const char* name) override {
    return base_.identify(directory, name);
  }
  std::optional<FileIdentity> identify_entry(int directory, const char* name) override {
    return base_.identify_entry(directory, name);
  }
  std::optional<std::string> resolve_folder(const std::string& path) override {
    return base_.resolve_folder(path);
  }
  std::optional<FileIdentity> identify_open(int handle) override {
    return base_.identify_open(handle);
  }
  bool remove(int directory, const char* name) override {
    bool removed = false;
    guard_.creating([&] { removed = base_.remove(directory, name); });
    return removed;
  }
  int open_for_reading(const char* name, std::uint64_t& size) override {
    return base_.open_for_reading(name, size);
  }
  int create(int directory, const char* name, mode_t mode) override {
    int handle = -1;
    guard_.creating([&] {
      handle = base_.create(directory, name, mode);
      if (handle >= 0) created_.push_back(path_of(directory, name));
    });
    return handle;
  }
  int create_temporary(int directory, const std::string& name, mode_t mode,
                       std::string& temporary) override {
    int handle = -1;
    guard_.creating([&] {
      handle = base_.create_temporary(directory, name, mode, temporary);
      if (handle >= 0) created_.push_back(path_of(directory, temporary));
    });
    return handle;
  }
  // A file renamed into place is complete: an interrupt leaves it.
  bool rename(int directory, const char* from, const char* to) override {
    bool renamed = false;
    guard_.creating([&] { renamed = base_.rename(directory, from, to); });
    return renamed;
  }
  bool is_link(int directory, const char* name) override { return base_.is_link(directory, name); }
  std::vector<std::string> make_folders(const std::string& path) override {
    std::vector<std::string> made;
    guard_.creating([&] {
      made = base_.make_folders(path);
      folders_made_.insert(folders_made_.end(), made.begin(), made.end());
    });
    return made;
  }
  void remove_folder(const std::string& path) override {
    guard_.creating([&] { base_.remove_folder(path); });
  }
  int open_folder(const char* path) override {
    const int handle = base_.open_folder(path);
    if (handle >= 0) open_folders_.emplace_back(handle, path);
    return handle;
  }
  std::int64_t read_at(int handle, void* dest, std::size_t size, std::uint64_t offset) override {
    return base_.read_at(handle, dest, size, offset);
  }
  std::int64_t write(int handle, const void* data, std::size_t size) override {
    return base_.write(handle, data, size);
  }
  bool close(int handle) override {
    std::erase_if(open_folders_, [&](const auto& folder) { return folder.first == handle; });
    return base_.close(handle);
  }

  // Removes what this model's job created, newest first: files, then the folders it made.
  void remove_created() {
    for (auto name = created_.rbegin(); name != created_.rend(); ++name) {
      base_.remove(AT_FDCWD, name->c_str());
    }
    for (auto folder = folders_made_.rbegin(); folder != folders_made_.rend(); ++folder) {
      base_.remove_folder(*folder);
    }
  }

 private:
  // `name` taken in `directory`, as a path from the current folder.
  std::string path_of(int directory, const std::string& name) const {
    for (const auto& [handle, path] : open_folders_) {
      if (handle == directory) return path + "/" + name;
    }
    return name;
  }

  RunGuard& guard_;
  FileSystem& base_;
  // Only touched by the model's own job, or under the guard's exclusive lock once it stops.
  std::vector<std::string> created_;
  std::vector<std::string> folders_made_;
  std::vector<std::pair<int, std::string>> open_folders_;
};

struct RunGuard::Model {
  explicit Model(RunGuard& guard, FileSystem& base) : files(guard, base) {}
  ModelFiles files;
  std::atomic<State> state{State::Waiting};
};

RunGuard::RunGuard(FileSystem& files, std::size_t models) {
  for (std::size_t i = 0; i < models; ++i) models_.push_back(std::make_unique<Model>(*this, files));
}

RunGuard::~RunGuard() = default;

bool RunGuard::begin(std::size_t model) {
  const SharedLock<SharedMutex> lock(mutex_);
  if (stopping_) return false;
  models_[model]->state = State::Running;
  return true;
}

void RunGuard::finish(std::size_t model) {
  models_[model]->state = State::Finished;
}

FileSystem& RunGuard::files_of(std::size_t model) {
  return models_[model]->files;
}

bool RunGuard::creating(const std::function<void()>& make) {
  const SharedLock<SharedMutex> lock(mutex_);
  if (stopping_) return false;
  make();
  return true;
}

std::size_t RunGuard::stop_and_clean_up() {
  const UniqueLock<SharedMutex> lock(mutex_);
  stopping_ = true;
  std::size_t finished = 0;
  for (const auto& model : models_) {
    const State state = model->state;
    finished += state == State::Finished;
    if (state == State::Running) model->files.remove_created();
  }
  return finished;
}

}  // namespace model_unpack
