// The file system of Windows: UTF-8 names in, wide Win32 calls underneath, so a model named in
// any language opens. A handle is the Win32 handle itself (they fit in 32 bits); a folder handle
// names the folder it was opened on, and names are taken in it by its final path.
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "io/file_system.h"
#include "io/utf8_windows.h"

namespace model_unpack {

namespace {

HANDLE handle_of(int handle) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(handle));
}

int number_of(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? -1
                                        : static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}

// The final path of an open file or folder, as Win32 calls take it ("\\?\C:\...").
std::wstring final_path(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(length + 1);
  }
}

// `name` taken in the folder `directory` (Folder::current(): the current one). Empty, so that
// every call on it fails, when the folder's path cannot be had: "\\" + name alone would name
// a file in the root of the current drive.
std::wstring path_in(Folder directory, const char* name) {
  if (directory == Folder::current()) return wide_text(name);
  const std::wstring folder = final_path(handle_of(directory.handle()));
  if (folder.empty()) return {};
  return folder + L"\\" + wide_text(name);
}

// Opened for its identity or attributes only; `through_links` follows a link at the end.
HANDLE open_entry(const std::wstring& path, bool through_links) {
  const DWORD flags =
      FILE_FLAG_BACKUP_SEMANTICS | (through_links ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     flags, nullptr);
}

std::optional<FileIdentity> identity_of(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

std::optional<FileIdentity> identify_path(const std::wstring& path, bool through_links) {
  const HANDLE handle = open_entry(path, through_links);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  const auto identity = identity_of(handle);
  CloseHandle(handle);
  return identity;
}

bool is_reparse_point(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

HANDLE create_file(const std::wstring& path, DWORD disposition) {
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool is_separator(char c) {
  return c == '/' || c == '\\';
}

class SystemFiles final : public FileSystem {
 public:
  std::optional<FileIdentity> identify(Folder directory, const char* name) override {
    return identify_path(path_in(directory, name), true);
  }
  std::optional<FileIdentity> identify_entry(Folder directory, const char* name) override {
    return identify_path(path_in(directory, name), false);
  }
  std::optional<FileIdentity> identify_open(int handle) override {
    return identity_of(handle_of(handle));
  }

  bool remove(Folder directory, const char* name) override {
    const std::wstring path = path_in(directory, name);
    // A link to a folder is removed as a folder; the folder it leads to stays.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return RemoveDirectoryW(path.c_str()) != 0;
    }
    return DeleteFileW(path.c_str()) != 0;
  }

  int open_for_reading(const char* name, std::uint64_t& size) override {
    const HANDLE handle = CreateFileW(wide_text(name).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return -1;
    // Only a file on a disk: a console, a pipe or a device would deliver nothing or wait.
    LARGE_INTEGER length{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &length)) {
      CloseHandle(handle);
      return -1;
    }
    size = static_cast<std::uint64_t>(length.QuadPart);
    return number_of(handle);
  }

  int create(Folder directory, const char* name, mode_t) override {
    const std::wstring path = path_in(directory, name);
    // A link planted under the name is never written through.
    if (is_reparse_point(path)) return -1;
    return number_of(create_file(path, CREATE_ALWAYS));
  }

  int create_temporary(Folder directory, const std::string& name, mode_t,
                       std::string& temporary) override {
    // Hidden beside the file it becomes: ".castle.glb.XXXXXX".
    std::size_t base = name.size();
    while (base > 0 && !is_separator(name[base - 1])) --base;
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      const unsigned long tag = (GetCurrentProcessId() * 7919ul + serial++) ^ GetTickCount();
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, ".%06lx", tag & 0xFFFFFF);
      temporary = name.substr(0, base) + "." + name.substr(base) + suffix;
      const HANDLE handle = create_file(path_in(directory, temporary.c_str()), CREATE_NEW);
      if (handle != INVALID_HANDLE_VALUE) return number_of(handle);
      if (GetLastError() != ERROR_FILE_EXISTS) return -1;
    }
    return -1;
  }

  bool rename(Folder directory, const char* from, const char* to) override {
    return MoveFileExW(path_in(directory, from).c_str(), path_in(directory, to).c_str(),
                       MOVEFILE_REPLACE_EXISTING) != 0;
  }

  Entry probe(Folder directory, const char* name) override {
    const std::wstring path = path_in(directory, name);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Entry::None;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Entry::Writable;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Entry::Folder;
    return attributes & FILE_ATTRIBUTE_READONLY ? Entry::Unwritable : Entry::Writable;
  }

  bool is_link(Folder directory, const char* name) override {
    return is_reparse_point(path_in(directory, name));
  }

  std::vector<std::string> make_folders(const std::string& path) override {
    std::vector<std::string> made;
    for (std::size_t end = 1; end <= path.size(); ++end) {
      if (end < path.size() && !is_separator(path[end])) continue;
      std::string folder = path.substr(0, end);
      // "C:" is a drive, not a folder to make.
      if (folder.size() == 2 && folder[1] == ':') continue;
      if (CreateDirectoryW(wide_text(folder).c_str(), nullptr)) made.push_back(std::move(folder));
    }
    return made;
  }

  void remove_folder(const std::string& path) override {
    RemoveDirectoryW(wide_text(path).c_str());
  }

  std::optional<std::string> resolve_folder(const std::string& path) override {
    const HANDLE handle = open_entry(wide_text(path.empty() ? "." : path), true);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    std::wstring final = final_path(handle);
    CloseHandle(handle);
    if (final.empty()) return std::nullopt;
    if (final.rfind(L"\\\\?\\", 0) == 0) final.erase(0, 4);
    std::string spelling = utf8_text(final);
    for (char& c : spelling) {
      if (c == '\\') c = '/';
    }
    return "/" + spelling;
  }

  Folder open_folder(const char* path) override {
    const HANDLE handle = open_entry(wide_text(path), false);
    if (handle == INVALID_HANDLE_VALUE) return Folder::none();
    // Never through a link in its last component.
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info) ||
        !(info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      CloseHandle(handle);
      return Folder::none();
    }
    return Folder::opened(number_of(handle));
  }

  std::int64_t read_at(int handle, void* dest, std::size_t size, std::uint64_t offset) override {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(handle_of(handle), dest, wanted, &got, &at)) {
      return GetLastError() == ERROR_HANDLE_EOF ? 0 : -EIO;
    }
    return got;
  }

  std::int64_t write(int handle, const void* data, std::size_t size) override {
    DWORD written = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!WriteFile(handle_of(handle), data, wanted, &written, nullptr)) return -1;
    return written;
  }

  bool close(int handle) override { return CloseHandle(handle_of(handle)) != 0; }
};

}  // namespace

FileSystem& system_files() {
  static SystemFiles files;
  return files;
}

}  // namespace model_unpack
