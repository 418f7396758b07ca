#include "platform/Foundation/Bundle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "platform/Foundation/PropertyList.h"

namespace quorvane::platform {

namespace {

constexpr std::string_view kProgramFolder = "/Contents/MacOS";
constexpr std::string_view kInfoPlist = "/Contents/Info.plist";
constexpr std::string_view kBundleExtension = ".app";
constexpr std::string_view kExecutableKey = "CFBundleExecutable";
constexpr const char* kOwnExecutableLink = "/proc/self/exe";
constexpr size_t kInitialLinkBufferSize = 256;

// A name that stays inside Contents/MacOS/ when appended to it.
bool isPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

// The path without trailing slashes ("/" stays "/").
std::string_view withoutTrailingSlashes(std::string_view path) {
  while (path.size() > 1 && path.ends_with('/')) {
    path.remove_suffix(1);
  }
  return path;
}

// The folder part of a path: "/a/b" -> "/a", "/b" -> "/", "b" -> ".".
std::string_view folderOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) {
    return ".";
  }
  return slash == 0 ? std::string_view("/") : path.substr(0, slash);
}

std::string readLink(const char* link) {
  std::string target(kInitialLinkBufferSize, '\0');
  for (;;) {
    const ssize_t length = ::readlink(link, target.data(), target.size());
    if (length < 0) {
      throw std::system_error(errno, std::generic_category(), std::string("readlink ") + link);
    }
    if (static_cast<size_t>(length) < target.size()) {
      target.resize(static_cast<size_t>(length));
      return target;
    }
    target.resize(target.size() * 2);
  }
}

// Reads up to buffer.size() bytes; the count read, or nullopt on a read error.
std::optional<size_t> readUpTo(int fd, std::string& buffer) {
  size_t used = 0;
  while (used < buffer.size()) {
    const ssize_t n = ::read(fd, buffer.data() + used, buffer.size() - used);
    if (n == 0) {
      break;
    }
    if (n < 0 && errno != EINTR) {
      return std::nullopt;
    }
    used += n > 0 ? static_cast<size_t>(n) : 0;
  }
  return used;
}

// The contents of a regular file of at most `limit` bytes, else nullopt. The
// file is opened without blocking so that a FIFO in its place cannot hang us.
std::optional<std::string> readSmallFile(const std::string& path, size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    return std::nullopt;
  }
  std::optional<std::string> contents;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<size_t>(info.st_size) <= limit) {
    // One byte more than fstat reported, to notice a file still being
    // written, which counts as unreadable.
    const size_t size = static_cast<size_t>(info.st_size);
    std::string buffer(size + 1, '\0');
    const std::optional<size_t> used = readUpTo(fd, buffer);
    if (used && *used <= size) {
      buffer.resize(*used);
      contents = std::move(buffer);
    }
  }
  ::close(fd);
  return contents;
}

}  // namespace

Bundle::Bundle(std::string bundlePath) : path_(std::move(bundlePath)) {}

Bundle Bundle::mainBundle() { return forExecutable(readLink(kOwnExecutableLink)); }

Bundle Bundle::forExecutable(std::string_view executablePath) {
  std::string_view folder = folderOf(executablePath);
  if (folder.ends_with(kProgramFolder)) {
    folder.remove_suffix(kProgramFolder.size());
    return Bundle(folder.empty() ? "/" : std::string(folder));
  }
  return Bundle(std::string(folder));
}

std::string Bundle::pathInside(std::string_view suffix) const {
  const std::string_view base = withoutTrailingSlashes(path_);
  return (base == "/" ? std::string() : std::string(base)) + std::string(suffix);
}

std::string Bundle::infoPlistPath() const { return pathInside(kInfoPlist); }

std::optional<std::string> Bundle::infoString(std::string_view key) const {
  const std::optional<std::string> document = readSmallFile(infoPlistPath(), kMaxInfoPlistBytes);
  if (!document) {
    return std::nullopt;
  }
  return propertyListString(*document, key);
}

std::optional<std::string> Bundle::executablePath() const {
  std::optional<std::string> name = infoString(kExecutableKey);
  if (!name || !isPlainFileName(*name)) {
    name = nameWithoutExtension();
  }
  if (!isPlainFileName(*name)) {
    return std::nullopt;
  }
  return pathInside(kProgramFolder) + "/" + *name;
}

std::string Bundle::nameWithoutExtension() const {
  std::string_view path = withoutTrailingSlashes(path_);
  std::string_view name = path.substr(path.rfind('/') + 1);
  if (name.ends_with(kBundleExtension)) {
    name.remove_suffix(kBundleExtension.size());
  }
  return std::string(name);
}

}  // namespace quorvane::platform
