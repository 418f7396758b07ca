#include "platform/AppKit/internal/RunningProcesses.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <memory>
#include <optional>
#include <string_view>

namespace quorvane::platform::internal {

namespace {

constexpr const char* kProcRoot = "/proc";
constexpr std::string_view kScriptMagic = "#!";
constexpr std::string_view kUidField = "Uid:";
// /proc/<pid>/status is a couple of kilobytes; long command lines are cut here
// (the script path comes right after the interpreter and its options).
constexpr size_t kStatusLimit = 16 * 1024;
constexpr size_t kCommandLineLimit = 64 * 1024;

struct FileIdentity {
  dev_t device;
  ino_t inode;
  bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identityOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return std::nullopt;
  }
  return FileIdentity{info.st_dev, info.st_ino};
}

// Up to `limit` bytes of a file; empty when it cannot be read.
std::string readPrefix(const std::string& path, size_t limit) {
  std::string contents;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    return contents;
  }
  contents.resize(limit);
  size_t used = 0;
  while (used < limit) {
    const ssize_t n = ::read(fd, contents.data() + used, limit - used);
    if (n == 0 || (n < 0 && errno != EINTR)) {
      break;
    }
    used += n > 0 ? static_cast<size_t>(n) : 0;
  }
  ::close(fd);
  contents.resize(used);
  return contents;
}

std::optional<uid_t> realUserOf(const std::string& processDir) {
  const std::string status = readPrefix(processDir + "/status", kStatusLimit);
  size_t field = status.find(kUidField);
  if (field == std::string::npos || (field > 0 && status[field - 1] != '\n')) {
    return std::nullopt;
  }
  field = status.find_first_not_of(" \t", field + kUidField.size());
  if (field == std::string::npos) {
    return std::nullopt;
  }
  uid_t uid = 0;
  const char* begin = status.data() + field;
  const auto [end, error] = std::from_chars(begin, status.data() + status.size(), uid);
  if (error != std::errc() || end == begin) {
    return std::nullopt;
  }
  return uid;
}

// The script path an interpreter was given: the first argument after argv[0]
// that is not an option.
std::optional<std::string> scriptArgumentOf(const std::string& processDir) {
  const std::string commandLine = readPrefix(processDir + "/cmdline", kCommandLineLimit);
  size_t start = commandLine.find('\0');
  while (start != std::string::npos && start + 1 < commandLine.size()) {
    ++start;
    const size_t end = std::min(commandLine.find('\0', start), commandLine.size());
    const std::string_view argument(commandLine.data() + start, end - start);
    if (!argument.empty() && !argument.starts_with('-')) {
      if (argument.starts_with('/')) {
        return std::string(argument);
      }
      return processDir + "/cwd/" + std::string(argument);
    }
    start = end;
  }
  return std::nullopt;
}

bool isScript(const std::string& path) {
  return readPrefix(path, kScriptMagic.size()) == kScriptMagic;
}

bool runsProgram(const std::string& processDir, const FileIdentity& program, bool script) {
  if (identityOf(processDir + "/exe") == program) {
    return true;
  }
  if (!script) {
    return false;
  }
  const std::optional<std::string> argument = scriptArgumentOf(processDir);
  return argument && identityOf(*argument) == program;
}

std::optional<pid_t> processIdOf(const char* entryName) {
  pid_t pid = 0;
  const std::string_view name(entryName);
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
  if (error != std::errc() || end != name.data() + name.size() || pid <= 0) {
    return std::nullopt;
  }
  return pid;
}

}  // namespace

std::vector<pid_t> processesRunning(const std::string& executablePath, uid_t uid) {
  std::vector<pid_t> matches;
  const std::optional<FileIdentity> program = identityOf(executablePath);
  if (!program) {
    return matches;
  }
  const bool script = isScript(executablePath);
  const std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir(kProcRoot), &::closedir);
  if (!proc) {
    return matches;
  }
  while (const dirent* entry = ::readdir(proc.get())) {
    const std::optional<pid_t> pid = processIdOf(entry->d_name);
    if (!pid) {
      continue;
    }
    const std::string processDir = std::string(kProcRoot) + "/" + entry->d_name;
    if (realUserOf(processDir) == uid && runsProgram(processDir, *program, script)) {
      matches.push_back(*pid);
    }
  }
  return matches;
}

}  // namespace quorvane::platform::internal
