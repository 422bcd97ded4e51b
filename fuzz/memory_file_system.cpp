#include "memory_file_system.h"

#include <cstring>

namespace model_unpack::fuzz {

namespace {
constexpr dev_t kDevice = 1;
}

void MemoryFileSystem::put(const std::string& name, std::string bytes) {
  names_[name] = std::make_shared<File>(File{next_inode_++, std::move(bytes)});
}

const std::string* MemoryFileSystem::contents(const std::string& name) const {
  const auto found = names_.find(name);
  if (found == names_.end() || found->second->written) return nullptr;
  return &found->second->bytes;
}

const std::string* MemoryFileSystem::written(const std::string& name) const {
  const auto found = names_.find(name);
  if (found == names_.end() || !found->second->written || !keep_written_) return nullptr;
  return &found->second->bytes;
}

void MemoryFileSystem::clear() {
  names_.clear();
  handles_.clear();
}

std::optional<FileIdentity> MemoryFileSystem::identify(int, const char* name) {
  const auto found = names_.find(name);
  if (found == names_.end()) return std::nullopt;
  return FileIdentity{kDevice, found->second->inode};
}

std::optional<FileIdentity> MemoryFileSystem::identify_open(int handle) {
  return FileIdentity{kDevice, handles_.at(static_cast<std::size_t>(handle))->inode};
}

void MemoryFileSystem::remove(int, const char* name) {
  names_.erase(name);
}

int MemoryFileSystem::open_for_reading(const char* name, std::uint64_t& size) {
  const auto found = names_.find(name);
  if (found == names_.end()) return -1;
  size = found->second->written ? found->second->size : found->second->bytes.size();
  handles_.push_back(found->second);
  return static_cast<int>(handles_.size() - 1);
}

int MemoryFileSystem::create(int, const char* name, mode_t) {
  std::shared_ptr<File>& file = names_[name];
  if (file == nullptr) file = std::make_shared<File>(File{next_inode_++, {}});
  file->bytes.clear();
  file->size = 0;
  file->written = true;
  handles_.push_back(file);
  return static_cast<int>(handles_.size() - 1);
}

std::int64_t MemoryFileSystem::read_at(int handle, void* dest, std::size_t size,
                                       std::uint64_t offset) {
  const File& file = *handles_.at(static_cast<std::size_t>(handle));
  if (file.written || offset >= file.bytes.size()) return 0;
  const std::size_t piece = std::min<std::uint64_t>(size, file.bytes.size() - offset);
  std::memcpy(dest, file.bytes.data() + offset, piece);
  return static_cast<std::int64_t>(piece);
}

std::int64_t MemoryFileSystem::write(int handle, const void* data, std::size_t size) {
  File& file = *handles_.at(static_cast<std::size_t>(handle));
  file.size += size;
  if (keep_written_) file.bytes.append(static_cast<const char*>(data), size);
  return static_cast<std::int64_t>(size);
}

bool MemoryFileSystem::close(int handle) {
  handles_.at(static_cast<std::size_t>(handle)) = nullptr;
  return true;
}

}  // namespace model_unpack::fuzz
