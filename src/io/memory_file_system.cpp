#include "io/memory_file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace model_unpack {

namespace {
constexpr std::uint64_t kDevice = 1;

constexpr int kFolderHandles = 1 << 24;
constexpr std::uint64_t kFolderInodes = std::uint64_t{1} << 30;

// Inode numbers start at 1.
std::uint64_t inode_of(std::size_t index) {
  return index + 1;
}

// "a//b/./c/" as "a/b/c"; "." and "" as "".
std::string normal_path(std::string_view path) {
  std::string normal;
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view part = path.substr(0, slash);
    path = slash == std::string_view::npos ? std::string_view{} : path.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (!normal.empty()) normal += '/';
    normal += part;
  }
  return normal;
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string{} : path.substr(0, slash);
}
}  // namespace

std::optional<std::string> MemoryFileSystem::path_in(Folder directory,
                                                     std::string_view name) const {
  if (directory == Folder::current()) return normal_path(name);
  const int handle = directory.handle();
  const auto folder = static_cast<std::size_t>(handle - kFolderHandles);
  if (handle < kFolderHandles || folder >= folders_.size()) return std::nullopt;
  return normal_path(folders_[folder] + "/" + std::string(name));
}

bool MemoryFileSystem::is_folder(const std::string& path) const {
  return path.empty() || std::find(folders_.begin(), folders_.end(), path) != folders_.end();
}

std::optional<std::string> MemoryFileSystem::resolve_folder(const std::string& path) {
  const std::string folder = normal_path(path);
  if (!is_folder(folder)) return std::nullopt;
  return "/" + folder;
}

std::vector<std::string> MemoryFileSystem::make_folders(const std::string& path) {
  const std::string folder = normal_path(path);
  std::vector<std::string> made;
  for (std::size_t end = folder.find('/');; end = folder.find('/', end + 1)) {
    const std::string prefix = folder.substr(0, end);
    if (find(prefix) == nullptr && !is_folder(prefix)) {
      folders_.push_back(prefix);
      made.push_back(prefix);
    }
    if (end == std::string::npos) break;
  }
  return made;
}

void MemoryFileSystem::remove_folder(const std::string& path) {
  const std::string folder = normal_path(path);
  const std::string inside = folder + "/";
  for (const File& file : files_) {
    if (file.linked && file.name.starts_with(inside)) return;
  }
  for (const std::string& other : folders_) {
    if (other.starts_with(inside)) return;
  }
  // Handles are indices: the slot stays, under a name no path has.
  for (std::string& known : folders_) {
    if (known == folder) known.clear();
  }
}

Folder MemoryFileSystem::open_folder(const char* path) {
  const std::string folder = normal_path(path);
  if (folder.empty()) return Folder::none();
  const auto found = std::find(folders_.begin(), folders_.end(), folder);
  if (found == folders_.end()) return Folder::none();
  return Folder::opened(kFolderHandles + static_cast<int>(found - folders_.begin()));
}

// A run creates a couple of dozen files: a linear search is cheaper than any tree.
const MemoryFileSystem::File* MemoryFileSystem::find(std::string_view name) const {
  for (const File& file : files_) {
    if (file.linked && file.name == name) return &file;
  }
  return nullptr;
}

void MemoryFileSystem::put(const std::string& name, std::string bytes) {
  if (File* old = find(normal_path(name))) old->linked = false;
  files_.push_back(File{normal_path(name), true, std::move(bytes), 0, false});
}

const std::string* MemoryFileSystem::contents(const std::string& name) const {
  const File* file = find(normal_path(name));
  if (file == nullptr || file->written) return nullptr;
  return &file->bytes;
}

const std::string* MemoryFileSystem::written(const std::string& name) const {
  const File* file = find(normal_path(name));
  if (file == nullptr || !file->written || !keep_written_) return nullptr;
  return &file->bytes;
}

std::optional<FileIdentity> MemoryFileSystem::identify(Folder directory, const char* name) {
  const auto path = path_in(directory, name);
  if (!path) return std::nullopt;
  if (const Folder folder = open_folder(path->c_str()); folder.is_open())
    return FileIdentity{
        kDevice, kFolderInodes + static_cast<std::uint64_t>(folder.handle() - kFolderHandles)};
  const File* file = find(*path);
  if (file == nullptr) return std::nullopt;
  return FileIdentity{kDevice, inode_of(static_cast<std::size_t>(file - files_.data()))};
}

std::optional<FileIdentity> MemoryFileSystem::identify_open(int handle) {
  if (handle >= kFolderHandles) {
    if (static_cast<std::size_t>(handle - kFolderHandles) >= folders_.size()) return std::nullopt;
    return FileIdentity{kDevice,
                        kFolderInodes + static_cast<std::uint64_t>(handle - kFolderHandles)};
  }
  at(handle);  // checks the handle
  return FileIdentity{kDevice, inode_of(static_cast<std::size_t>(handle))};
}

bool MemoryFileSystem::remove(Folder directory, const char* name) {
  const auto path = path_in(directory, name);
  if (!path) return false;
  File* file = find(*path);
  if (file == nullptr) return false;
  file->linked = false;
  return true;
}

int MemoryFileSystem::open_for_reading(const char* name, std::uint64_t& size) {
  const File* file = find(normal_path(name));
  if (file == nullptr) return -1;
  size = file->written ? file->size : file->bytes.size();
  return static_cast<int>(file - files_.data());
}

Entry MemoryFileSystem::probe(Folder directory, const char* name) {
  const auto path = path_in(directory, name);
  if (!path) return Entry::None;
  if (is_folder(*path)) return Entry::Folder;
  return find(*path) == nullptr ? Entry::None : Entry::Writable;
}

int MemoryFileSystem::create(Folder directory, const char* name, mode_t) {
  const auto path = path_in(directory, name);
  if (!path || path->empty() || !is_folder(folder_of(*path)) || is_folder(*path)) return -1;
  File* file = find(*path);
  if (file == nullptr) file = &files_.emplace_back(File{*path, true, {}, 0, false});
  file->bytes.clear();
  file->size = 0;
  file->written = true;
  return static_cast<int>(file - files_.data());
}

int MemoryFileSystem::create_temporary(Folder directory, const std::string& name, mode_t mode,
                                       std::string& temporary) {
  temporary = name + ".partial";
  return create(directory, temporary.c_str(), mode);
}

bool MemoryFileSystem::rename(Folder directory, const char* from, const char* to) {
  const auto from_path = path_in(directory, from);
  const auto to_path = path_in(directory, to);
  File* file = from_path ? find(*from_path) : nullptr;
  if (file == nullptr || !to_path) return false;
  if (File* old = find(*to_path)) old->linked = false;
  file->name = *to_path;
  return true;
}

std::int64_t MemoryFileSystem::read_at(int handle, void* dest, std::size_t size,
                                       std::uint64_t offset) {
  const File& file = at(handle);
  // A written file reads back what was written, when that is kept; otherwise the read fails,
  // rather than showing a file of its size as empty.
  if (file.written && !keep_written_) return -EIO;
  if (offset >= file.bytes.size()) return 0;
  const std::size_t piece = std::min<std::uint64_t>(size, file.bytes.size() - offset);
  std::memcpy(dest, file.bytes.data() + offset, piece);
  return static_cast<std::int64_t>(piece);
}

std::int64_t MemoryFileSystem::write(int handle, const void* data, std::size_t size) {
  File& file = at(handle);
  file.size += size;
  if (keep_written_) file.bytes.append(static_cast<const char*>(data), size);
  return static_cast<std::int64_t>(size);
}

bool MemoryFileSystem::close(int handle) {
  if (handle < kFolderHandles) at(handle);
  return true;
}

}  // namespace model_unpack
