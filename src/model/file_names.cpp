#include "model/file_names.h"

#include <cstring>

namespace model_unpack {

namespace {
constexpr std::size_t kDotSearchLimit = 250;
}

bool name_fits_buffer(std::string_view word) {
  if (word.size() >= kNameBufferSize) return false;
  // The job sees the name up to its first NUL; only that part can receive the extension.
  const std::string_view name = word.substr(0, word.find('\0'));
  const bool has_dot = name.find('.') != std::string_view::npos;
  return has_dot || name.size() + kDefaultExtension.size() < kNameBufferSize;
}

void add_default_extension(NameBuffer& name) {
  const std::size_t length = strnlen(name.data(), name.size());
  if (std::memchr(name.data(), '.', length) != nullptr) return;
  if (length + kDefaultExtension.size() >= name.size()) return;  // never past the buffer
  std::memcpy(name.data() + length, kDefaultExtension.data(), kDefaultExtension.size());
  name[length + kDefaultExtension.size()] = '\0';
}

NameBuffer derive_info_file_name(const NameBuffer& model_name) {
  NameBuffer info{};
  const std::size_t length = strnlen(model_name.data(), model_name.size() - 1);
  std::memcpy(info.data(), model_name.data(), length);
  const void* dot = std::memchr(info.data(), '.', kDotSearchLimit);
  // Without a dot in the first 250 characters, position 250 keeps its character.
  const std::size_t suffix_at =
      dot != nullptr ? static_cast<std::size_t>(static_cast<const char*>(dot) - info.data()) + 1
                     : kDotSearchLimit + 1;
  std::memcpy(info.data() + suffix_at, "txt", 4);
  return info;
}

}  // namespace model_unpack
