#include "io/physical_path.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>

namespace model_unpack {

namespace {

constexpr int kMostLinks = 40;  // as Linux follows at most

std::deque<std::string> components(const std::string& path) {
  std::deque<std::string> parts;
  for (std::size_t start = 0; start <= path.size();) {
    const std::size_t slash = std::min(path.find('/', start), path.size());
    if (slash > start) parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

void drop_last(std::string& path) {
  path.erase(path.empty() ? 0 : path.rfind('/'));
}

}  // namespace

std::optional<std::string> resolve_physically(const std::string& path) {
  std::string resolved;
  if (path.empty() || path[0] != '/') {
    char current[PATH_MAX];
    if (getcwd(current, sizeof current) == nullptr) return std::nullopt;
    resolved = current;
    if (resolved == "/") resolved.clear();
  }
  std::deque<std::string> rest = components(path);
  for (int links = 0; !rest.empty();) {
    const std::string part = rest.front();
    rest.pop_front();
    if (part == ".") continue;
    if (part == "..") {
      drop_last(resolved);
      continue;
    }
    const std::string next = resolved + "/" + part;
    struct stat info {};
    if (lstat(next.c_str(), &info) != 0) return std::nullopt;
    if (!S_ISLNK(info.st_mode)) {
      resolved = next;
      continue;
    }
    char target[PATH_MAX];
    const ssize_t length = readlink(next.c_str(), target, sizeof target - 1);
    if (length <= 0 || ++links > kMostLinks) return std::nullopt;
    const std::string leads_to(target, static_cast<std::size_t>(length));
    if (leads_to[0] == '/') resolved.clear();
    std::deque<std::string> spliced = components(leads_to);
    rest.insert(rest.begin(), spliced.begin(), spliced.end());
  }
  return resolved.empty() ? "/" : resolved;
}

std::string physical_name(const char* name) {
#if defined(__wasi__)
  const std::string path(name);
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return path;
  const auto folder = resolve_physically(path.substr(0, slash + 1));
  if (!folder) return path;
  return (*folder == "/" ? "" : *folder) + path.substr(slash);
#else
  return name;
#endif
}

}  // namespace model_unpack
