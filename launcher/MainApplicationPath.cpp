#include "launcher/MainApplicationPath.h"

namespace quorvane::launcher {

namespace {
constexpr std::string_view kRoot = "/";
}  // namespace

std::vector<std::string> pathComponents(std::string_view path) {
  std::vector<std::string> components;
  if (path.starts_with(kRoot)) {
    components.emplace_back(kRoot);
  }
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) {
      end = path.size();
    }
    if (end > start) {
      components.emplace_back(path.substr(start, end - start));
    }
    start = end + 1;
  }
  return components;
}

std::string pathWithComponents(const std::vector<std::string>& components) {
  std::string path;
  for (const std::string& component : components) {
    if (!path.empty() && !path.ends_with('/')) {
      path += '/';
    }
    path += component;
  }
  return path;
}

std::optional<std::string> mainApplicationPath(std::string_view launcherBundlePath) {
  std::vector<std::string> components = pathComponents(launcherBundlePath);
  if (components.size() <= kLauncherDepth) {
    return std::nullopt;
  }
  components.resize(components.size() - kLauncherDepth);
  return pathWithComponents(components);
}

}  // namespace quorvane::launcher
