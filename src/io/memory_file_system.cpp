#include "io/memory_file_system.h"

#include <cstring>

namespace model_unpack {

namespace {
constexpr dev_t kDevice = 1;

// Inode numbers start at 1.
ino_t inode_of(std::size_t index) {
  return static_cast<ino_t>(index + 1);
}
}  // namespace

// A run creates a couple of dozen files: a linear search is cheaper than any tree.
const MemoryFileSystem::File* MemoryFileSystem::find(std::string_view name) const {
  for (const File& file : files_) {
    if (file.linked && file.name == name) return &file;
  }
  return nullptr;
}

void MemoryFileSystem::put(const std::string& name, std::string bytes) {
  if (File* old = find(name)) old->linked = false;
  files_.push_back(File{name, true, std::move(bytes), 0, false});
}

const std::string* MemoryFileSystem::contents(const std::string& name) const {
  const File* file = find(name);
  if (file == nullptr || file->written) return nullptr;
  return &file->bytes;
}

const std::string* MemoryFileSystem::written(const std::string& name) const {
  const File* file = find(name);
  if (file == nullptr || !file->written || !keep_written_) return nullptr;
  return &file->bytes;
}

std::optional<FileIdentity> MemoryFileSystem::identify(int, const char* name) {
  const File* file = find(name);
  if (file == nullptr) return std::nullopt;
  return FileIdentity{kDevice, inode_of(static_cast<std::size_t>(file - files_.data()))};
}

std::optional<FileIdentity> MemoryFileSystem::identify_open(int handle) {
  at(handle);  // checks the handle
  return FileIdentity{kDevice, inode_of(static_cast<std::size_t>(handle))};
}

void MemoryFileSystem::remove(int, const char* name) {
  if (File* file = find(name)) file->linked = false;
}

int MemoryFileSystem::open_for_reading(const char* name, std::uint64_t& size) {
  const File* file = find(name);
  if (file == nullptr) return -1;
  size = file->written ? file->size : file->bytes.size();
  return static_cast<int>(file - files_.data());
}

int MemoryFileSystem::create(int, const char* name, mode_t) {
  File* file = find(name);
  if (file == nullptr) file = &files_.emplace_back(File{name, true, {}, 0, false});
  file->bytes.clear();
  file->size = 0;
  file->written = true;
  return static_cast<int>(file - files_.data());
}

int MemoryFileSystem::create_temporary(int directory, const std::string& name, mode_t mode,
                                       std::string& temporary) {
  temporary = name + ".partial";
  return create(directory, temporary.c_str(), mode);
}

bool MemoryFileSystem::rename(int, const char* from, const char* to) {
  File* file = find(from);
  if (file == nullptr) return false;
  if (File* old = find(to)) old->linked = false;
  file->name = to;
  return true;
}

std::int64_t MemoryFileSystem::read_at(int handle, void* dest, std::size_t size,
                                       std::uint64_t offset) {
  const File& file = at(handle);
  if (file.written || offset >= file.bytes.size()) return 0;
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
  at(handle);
  return true;
}

}  // namespace model_unpack
