#include "batch/run_guard.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace model_unpack {

namespace {

// Where a name lies: its folder, by identity where it exists, and its last component, so that
// "pos.txt", "./pos.txt" and "pos.txt" in a handle of the same folder are one place.
struct Place {
  std::optional<FileIdentity> folder;
  Folder directory = Folder::current();
  std::string name;

  std::string_view last() const {
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string_view(name)
                                      : std::string_view(name).substr(slash + 1);
  }
  bool operator==(const Place& other) const {
    if (folder && other.folder) return *folder == *other.folder && last() == other.last();
    return directory == other.directory && name == other.name;
  }
};

// A file a job writes under a temporary name until the job ends.
struct Staged {
  Folder directory;
  std::string temporary;
  std::optional<Place> place;  // where it goes; none until the job names it
  int handle;                  // open for writing; -1 once closed
  bool failed = false;         // a write or the close failed: it never takes its name
};

struct Removal {
  Folder directory;
  std::string name;
  Place place;
};

}  // namespace

// A model's view of the file system. What its job writes is staged under temporary names and
// what it removes is noted; both happen when the job ends. Until then the job sees the files
// as if they had: a file it wrote is found under its name, one it removed is gone.
class RunGuard::ModelFiles final : public FileSystem {
 public:
  ModelFiles(RunGuard& guard, FileSystem& base) : guard_(guard), base_(base) {}

  std::optional<FileIdentity> identify(Folder directory, const char* name) override {
    guard_.poll_();
    const Place place = place_of(directory, name);
    if (const Staged* file = staged_at(place))
      return base_.identify(file->directory, file->temporary.c_str());
    if (removed_at(place)) return std::nullopt;
    return base_.identify(directory, name);
  }
  std::optional<FileIdentity> identify_entry(Folder directory, const char* name) override {
    const Place place = place_of(directory, name);
    if (const Staged* file = staged_at(place)) {
      return base_.identify_entry(file->directory, file->temporary.c_str());
    }
    if (removed_at(place)) return std::nullopt;
    return base_.identify_entry(directory, name);
  }
  std::optional<std::string> resolve_folder(const std::string& path) override {
    return base_.resolve_folder(path);
  }
  std::optional<FileIdentity> identify_open(int handle) override {
    return base_.identify_open(handle);
  }
  bool remove(Folder directory, const char* name) override {
    guard_.poll_();
    bool removed = false;
    guard_.creating([&] { removed = note_removal(directory, name); });
    return removed;
  }
  int open_for_reading(const char* name, std::uint64_t& size) override {
    guard_.poll_();
    return base_.open_for_reading(name, size);
  }
  // Refused where the file itself could not be written (a folder, a read-only file), as
  // writing it in place would be; a device (/dev/null under the name) is written in place.
  int create(Folder directory, const char* name, mode_t mode) override {
    guard_.poll_();
    Place place = place_of(directory, name);
    if (!staged_at(place)) {
      // What the job removed goes when it ends; a folder never does.
      const Entry entry = base_.probe(directory, name);
      if (entry == Entry::Folder) return -1;
      if (!removed_at(place)) {
        if (entry == Entry::Unwritable) return -1;
        if (entry == Entry::Device) return base_.create(directory, name, mode);
      }
    }
    int handle = -1;
    guard_.creating([&] {
      drop_staged_at(place);
      std::string temporary;
      handle = base_.create_temporary(directory, name, mode, temporary);
      if (handle >= 0) staged_.push_back(Staged{directory, temporary, std::move(place), handle});
    });
    return handle;
  }
  int create_temporary(Folder directory, const std::string& name, mode_t mode,
                       std::string& temporary) override {
    guard_.poll_();
    int handle = -1;
    guard_.creating([&] {
      handle = base_.create_temporary(directory, name, mode, temporary);
      if (handle >= 0) staged_.push_back(Staged{directory, temporary, std::nullopt, handle});
    });
    return handle;
  }
  // A temporary of the job's own takes its name when the job ends.
  bool rename(Folder directory, const char* from, const char* to) override {
    guard_.poll_();
    bool renamed = false;
    guard_.creating([&] {
      Staged* file = temporary_named(directory, from);
      if (file == nullptr) {
        renamed = base_.rename(directory, from, to);
        return;
      }
      Place place = place_of(directory, to);
      file->place.reset();
      drop_staged_at(place);
      temporary_named(directory, from)->place = std::move(place);
      renamed = true;
    });
    return renamed;
  }
  Entry probe(Folder directory, const char* name) override {
    const Place place = place_of(directory, name);
    if (staged_at(place)) return Entry::Writable;
    if (removed_at(place)) return Entry::None;
    return base_.probe(directory, name);
  }
  bool is_link(Folder directory, const char* name) override {
    const Place place = place_of(directory, name);
    if (staged_at(place) || removed_at(place)) return false;
    return base_.is_link(directory, name);
  }
  std::vector<std::string> make_folders(const std::string& path) override {
    guard_.poll_();
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
  Folder open_folder(const char* path) override {
    const Folder folder = base_.open_folder(path);
    if (folder.is_open()) guard_.creating([&] { open_folders_.push_back(folder.handle()); });
    return folder;
  }
  std::int64_t read_at(int handle, void* dest, std::size_t size, std::uint64_t offset) override {
    return base_.read_at(handle, dest, size, offset);
  }
  std::int64_t write(int handle, const void* data, std::size_t size) override {
    const std::int64_t written = base_.write(handle, data, size);
    if (written <= 0) guard_.creating([&] { mark_failed(handle); });
    return written;
  }
  // A folder the job wrote into stays open until its files are in place: they are placed,
  // and removed, through it, never through a path looked up again.
  bool close(int handle) override {
    guard_.poll_();
    if (std::find(open_folders_.begin(), open_folders_.end(), handle) != open_folders_.end()) {
      return true;
    }
    const bool closed = base_.close(handle);
    guard_.creating([&] {
      for (Staged& file : staged_) {
        if (file.handle != handle) continue;
        file.handle = -1;
        file.failed = file.failed || !closed;
      }
    });
    return closed;
  }

  // The job has ended well: its files take their names, and what it removed goes. Returns
  // the names that could not be taken.
  std::vector<std::string> put_in_place() {
    std::vector<std::string> not_placed;
    for (const Removal& removal : removals_) {
      if (staged_at(removal.place, true) == nullptr) {
        static_cast<void>(base_.remove(removal.directory, removal.name.c_str()));
      }
    }
    for (Staged& file : staged_) {
      close_if_open(file);
      const bool keep = file.place && !file.failed;
      if (keep && base_.rename(file.directory, file.temporary.c_str(), file.place->name.c_str()))
        continue;
      static_cast<void>(base_.remove(file.directory, file.temporary.c_str()));
      if (keep) not_placed.push_back(file.place->name);
    }
    forget();
    return not_placed;
  }

  // The job's outputs are worthless: its files and folders go, the earlier ones stay.
  void discard() {
    for (Staged& file : staged_) close_if_open(file);
    remove_temporaries();
    forget();
  }

  // What an interrupt removes; the folders are the guard's to remove, after every model's files.
  void remove_temporaries() {
    for (auto file = staged_.rbegin(); file != staged_.rend(); ++file) {
      static_cast<void>(base_.remove(file->directory, file->temporary.c_str()));
    }
  }
  const std::vector<std::string>& folders_made() const { return folders_made_; }

 private:
  Place place_of(Folder directory, const std::string& name) {
    const std::size_t slash = name.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : name.substr(0, slash));
    return Place{folder_identity(directory, folder), directory, name};
  }
  // A job names files in a folder or two, dozens of times: each is looked up once.
  std::optional<FileIdentity> folder_identity(Folder directory, const std::string& folder) {
    for (const FolderSeen& seen : folders_seen_) {
      if (seen.directory == directory && seen.folder == folder) return seen.identity;
    }
    const auto identity = base_.identify(directory, folder.c_str());
    folders_seen_.push_back(FolderSeen{directory, folder, identity});
    return identity;
  }
  // The job's file that goes to `place`; with `kept`, only one that will.
  Staged* staged_at(const Place& place, bool kept = false) {
    for (Staged& file : staged_) {
      if (file.place && *file.place == place && !(kept && file.failed)) return &file;
    }
    return nullptr;
  }
  bool removed_at(const Place& place) const {
    return std::any_of(removals_.begin(), removals_.end(),
                       [&](const Removal& removal) { return removal.place == place; });
  }
  Staged* temporary_named(Folder directory, const std::string& name) {
    for (Staged& file : staged_) {
      if (file.directory == directory && file.temporary == name) return &file;
    }
    return nullptr;
  }
  // A second file written under one name replaces the first, as it would in place.
  void drop_staged_at(const Place& place) {
    std::erase_if(staged_, [&](Staged& file) {
      if (!file.place || !(*file.place == place)) return false;
      close_if_open(file);
      static_cast<void>(base_.remove(file.directory, file.temporary.c_str()));
      return true;
    });
  }
  bool note_removal(Folder directory, const char* name) {
    if (Staged* file = temporary_named(directory, name)) {
      close_if_open(*file);
      const bool removed = base_.remove(directory, name);
      staged_.erase(staged_.begin() + (file - staged_.data()));
      return removed;
    }
    Place place = place_of(directory, name);
    drop_staged_at(place);
    if (removed_at(place)) return true;
    const Entry entry = base_.probe(directory, name);
    if (entry == Entry::None || entry == Entry::Folder) return false;
    removals_.push_back(Removal{directory, name, std::move(place)});
    return true;
  }
  void mark_failed(int handle) {
    for (Staged& file : staged_) file.failed = file.failed || file.handle == handle;
  }
  void close_if_open(Staged& file) {
    if (file.handle >= 0) file.failed = !base_.close(file.handle) || file.failed;
    file.handle = -1;
  }
  void forget() {
    staged_.clear();
    removals_.clear();
    for (const int folder : open_folders_) static_cast<void>(base_.close(folder));
    open_folders_.clear();
    folders_seen_.clear();
  }

  RunGuard& guard_;
  FileSystem& base_;
  // Changed only by the model's own job under the guard's shared lock, or read under its
  // exclusive lock once the run stops.
  std::vector<Staged> staged_;
  std::vector<Removal> removals_;
  std::vector<std::string> folders_made_;
  std::vector<int> open_folders_;
  struct FolderSeen {
    Folder directory;
    std::string folder;
    std::optional<FileIdentity> identity;
  };
  std::vector<FolderSeen> folders_seen_;
};

struct RunGuard::Model {
  explicit Model(RunGuard& guard, FileSystem& base) : files(guard, base) {}
  ModelFiles files;
  std::atomic<State> state{State::Waiting};
};

RunGuard::RunGuard(FileSystem& files, std::size_t models, std::function<void()> poll)
    : base_(files), poll_(std::move(poll)) {
  for (std::size_t i = 0; i < models; ++i) models_.push_back(std::make_unique<Model>(*this, files));
}

RunGuard::~RunGuard() = default;

bool RunGuard::begin(std::size_t model) {
  poll_();
  const SharedLock<SharedMutex> lock(mutex_);
  if (stopping_) return false;
  models_[model]->state = State::Running;
  return true;
}

FileSystem& RunGuard::files_of(std::size_t model) {
  return models_[model]->files;
}

namespace {

// Folders, deepest first: a folder made for one model may hold another's.
void remove_folders(std::vector<std::string> folders, FileSystem& files) {
  const auto depth = [](const std::string& path) {
    return std::count(path.begin(), path.end(), '/');
  };
  std::stable_sort(folders.begin(), folders.end(),
                   [&](const std::string& a, const std::string& b) { return depth(a) > depth(b); });
  for (const std::string& folder : folders) files.remove_folder(folder);
}

}  // namespace

std::vector<std::string> RunGuard::end(std::size_t model, bool keep) {
  poll_();
  Model& ended = *models_[model];
  std::vector<std::string> not_placed;
  creating([&] {
    if (keep) {
      not_placed = ended.files.put_in_place();
    } else {
      ended.files.discard();
      remove_folders(ended.files.folders_made(), base_);
    }
    ended.state = State::Ended;
  });
  return not_placed;
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
  std::size_t ended = 0;
  std::vector<std::string> folders;
  for (const auto& model : models_) {
    const State state = model->state;
    ended += state == State::Ended;
    if (state != State::Running) continue;
    model->files.remove_temporaries();
    const auto& made = model->files.folders_made();
    folders.insert(folders.end(), made.begin(), made.end());
  }
  remove_folders(std::move(folders), base_);
  return ended;
}

}  // namespace model_unpack
