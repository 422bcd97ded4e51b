#include "batch/run_guard.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "io/console_output.h"
#include "model/block_kinds.h"

namespace model_unpack {

// A model's view of the file system: new files go through the guard and are remembered.
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
  void remove(int directory, const char* name) override { base_.remove(directory, name); }
  int open_for_reading(const char* name, std::uint64_t& size) override {
    return base_.open_for_reading(name, size);
  }
  int create(int directory, const char* name, mode_t mode) override {
    int handle = -1;
    guard_.creating([&] {
      handle = base_.create(directory, name, mode);
      if (handle >= 0 && directory == AT_FDCWD) created_.emplace_back(name);
    });
    return handle;
  }
  int create_temporary(int directory, const std::string& name, mode_t mode,
                       std::string& temporary) override {
    int handle = -1;
    guard_.creating([&] {
      handle = base_.create_temporary(directory, name, mode, temporary);
      if (handle >= 0) created_.push_back(temporary);
    });
    return handle;
  }
  bool rename(int directory, const char* from, const char* to) override {
    bool renamed = false;
    guard_.creating([&] {
      renamed = base_.rename(directory, from, to);
      if (renamed) created_.emplace_back(to);
    });
    return renamed;
  }
  bool is_link(int directory, const char* name) override { return base_.is_link(directory, name); }
  void make_folders(const std::string& path) override {
    guard_.creating([&] { base_.make_folders(path); });
  }
  int open_folder(const char* path) override { return base_.open_folder(path); }
  std::int64_t read_at(int handle, void* dest, std::size_t size, std::uint64_t offset) override {
    return base_.read_at(handle, dest, size, offset);
  }
  std::int64_t write(int handle, const void* data, std::size_t size) override {
    return base_.write(handle, data, size);
  }
  bool close(int handle) override { return base_.close(handle); }

  // Names in the current folder this model's job created; only touched under the guard.
  std::vector<std::string> created_;

 private:
  RunGuard& guard_;
  FileSystem& base_;
};

struct RunGuard::Model {
  Model(RunGuard& guard, FileSystem& base, const PlannedModel& planned)
      : files(guard, base), plan(planned) {}
  ModelFiles files;
  const PlannedModel& plan;
  std::atomic<State> state{State::Waiting};
};

RunGuard::RunGuard(FileSystem& files, const std::vector<PlannedModel>& plan) : files_(files) {
  for (const PlannedModel& planned : plan) {
    models_.push_back(std::make_unique<Model>(*this, files, planned));
  }
}

RunGuard::~RunGuard() = default;

void RunGuard::set_state(std::size_t model, State state) {
  models_[model]->state = state;
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
    if (state != State::Running) continue;
    // Its export files (the job deleted them first anyway), then whatever it created.
    const std::string& folder = model->plan.exports_folder;
    for (const char* export_file : kExportFileDeletionOrder) {
      files_.remove(AT_FDCWD,
                    (folder.empty() ? std::string() : folder + "/").append(export_file).c_str());
    }
    if (!folder.empty()) rmdir(folder.c_str());  // only when nothing else is in it
    for (const std::string& name : model->files.created_) files_.remove(AT_FDCWD, name.c_str());
  }
  return finished;
}

#if defined(__wasi__)

InterruptWatch::InterruptWatch(RunGuard& guard, std::size_t total,
                               std::function<void()> before_message)
    : guard_(guard), total_(total), before_message_(std::move(before_message)) {}

InterruptWatch::~InterruptWatch() = default;

#else

namespace {

// The signals that end a batch early; one ignored when the run began (nohup) stays ignored.
sigset_t interrupting_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
      sigaddset(&set, signal);
  }
  return set;
}

}  // namespace

InterruptWatch::InterruptWatch(RunGuard& guard, std::size_t total,
                               std::function<void()> before_message)
    : guard_(guard), total_(total), before_message_(std::move(before_message)) {
  // Blocked before any worker starts, so every thread inherits the mask and only the watcher
  // takes these signals.
  const sigset_t set = interrupting_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  watching_ = thread_.start([this] { watch(); });
  // Without the watcher, the signals keep their usual effect.
  if (!watching_) pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

InterruptWatch::~InterruptWatch() {
  if (!watching_) return;
  done_ = true;
  thread_.join();
}

void InterruptWatch::watch() {
  const sigset_t set = interrupting_signals();
  const timespec interval{0, 50'000'000};
  int signal = -1;
  while (!done_) {
    signal = sigtimedwait(&set, nullptr, &interval);
    if (signal > 0) break;
  }
  if (signal <= 0) return;

  const std::size_t finished = guard_.stop_and_clean_up();
  before_message_();
  std::fprintf(stderr,
               "model-unpack-batch: interrupted: %zu of %zu models converted; unfinished outputs "
               "removed\n",
               finished, total_);
  std::fflush(stderr);
  // Dies by the signal, so the shell sees it.
  ::signal(signal, SIG_DFL);
  sigset_t just_this;
  sigemptyset(&just_this);
  sigaddset(&just_this, signal);
  pthread_sigmask(SIG_UNBLOCK, &just_this, nullptr);
  raise(signal);
  _exit(128 + signal);
}

#endif

}  // namespace model_unpack
