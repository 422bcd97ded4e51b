#include "job/file_names.h"

#include <array>
#include <cstring>

namespace model_unpack {

namespace {
constexpr std::size_t kDotSearchLimit = 250;

std::size_t last_component_start(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? 0 : slash + 1;
}
}  // namespace

JobNames derive_typed_names(std::string_view typed) {
  typed = typed.substr(0, typed.find('\0'));
  JobNames names{std::string(typed), {}};
  if (typed.find('.') == std::string_view::npos) names.model += kDefaultExtension;

  // The info name is built in a 256-byte buffer: without a dot in the first 250 characters,
  // position 250 keeps its character and "txt" follows at 251.
  std::array<char, kTypedNameSpace> info{};
  std::memcpy(info.data(), names.model.data(), std::min(names.model.size(), info.size() - 1));
  const void* dot = std::memchr(info.data(), '.', kDotSearchLimit);
  const std::size_t suffix_at =
      dot != nullptr ? static_cast<std::size_t>(static_cast<const char*>(dot) - info.data()) + 1
                     : kDotSearchLimit + 1;
  std::memcpy(info.data() + suffix_at, "txt", 4);
  names.info = info.data();
  return names;
}

JobNames derive_path_names(std::string_view path) {
  const std::size_t start = last_component_start(path);
  const std::size_t dot = path.find('.', start);
  JobNames names{std::string(path), {}};
  if (dot == std::string_view::npos) {
    names.model += kDefaultExtension;
    names.info = std::string(path) + ".txt";
  } else {
    names.info = std::string(path.substr(0, dot + 1)) + "txt";
  }
  return names;
}

std::string_view path_stem(std::string_view model_path) {
  const std::string_view last = model_path.substr(last_component_start(model_path));
  return last.substr(0, last.find('.'));
}

}  // namespace model_unpack
