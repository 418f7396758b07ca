#include "Logging/Shared/Core/src/LogFileRetention.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <vector>

#include "common/logging/LoggerDB.h"
#include "common/utilities/FileOps.h"

namespace quorvane::kestro::logging {
namespace {

// Reported under this location wherever the source tree lives.
constexpr std::string_view kWarningSource = "Logging/Shared/Core/src/LogFileRetention";
constexpr int kDirectoryWarningLine = 120;
constexpr int kDeleteWarningLine = 160;

constexpr size_t kStampSize = 16;  // "YYYYMMDD-tHHMMSS"

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(std::string_view text) { return std::all_of(text.begin(), text.end(), isDigit); }

// The length of the run of digits at the start of `text`.
size_t digitRun(std::string_view text) {
  size_t n = 0;
  while (n < text.size() && isDigit(text[n])) {
    ++n;
  }
  return n;
}

bool consume(std::string_view& text, std::string_view start) {
  if (text.substr(0, start.size()) != start) {
    return false;
  }
  text.remove_prefix(start.size());
  return true;
}

// Reads a "-p<digits>" at the start of `text` into `pid`.
bool consumeProcessId(std::string_view& text, pid_t& pid) {
  if (text.substr(0, 2) != "-p") {
    return false;
  }
  const size_t digits = digitRun(text.substr(2));
  if (digits == 0 || digits > 9) {  // every pid_t fits in nine digits
    return false;
  }
  pid = 0;
  for (char c : text.substr(2, digits)) {
    pid = pid * 10 + (c - '0');
  }
  text.remove_prefix(2 + digits);
  return true;
}

bool processRunning(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

struct Candidate {
  std::string name;
  std::string stamp;
  pid_t pid;
  uint64_t size;
  bool kept = false;
};

void warn(int line, std::string_view what, const std::string& path, int error) {
  LoggerDB::internalWarning(kWarningSource, line,
                            std::string(what) + path + " in RotatingFileLogWriter: " +
                                std::strerror(error));
}

// Deletes `path` unless a writer holds it open. Returns whether it is gone.
bool deleteUnlessOpen(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) {
      return true;  // another pass was first
    }
    warn(kDeleteWarningLine, "error deleting log file ", path, errno);
    return false;
  }
  bool gone = false;
  struct stat status;
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
      ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    // Holding the lock, no writer has the file open (or can take it).
    if (currentFileOps().unlink(path.c_str()) == 0 || errno == ENOENT) {
      gone = true;
    } else {
      warn(kDeleteWarningLine, "error deleting log file ", path, errno);
    }
  }
  ::close(fd);
  return gone;
}

}  // namespace

LogFileRetention::LogFileRetention(std::string_view prefix, std::string_view suffix,
                                   RetentionLimits limits)
    : limits_(limits) {
  const size_t slash = prefix.rfind('/');
  if (slash == std::string_view::npos) {
    directory_ = ".";
    namePrefix_ = prefix;
  } else {
    directory_ = slash == 0 ? "/" : std::string(prefix.substr(0, slash));
    namePrefix_ = prefix.substr(slash + 1);
  }

  std::string_view afterPid = suffix;
  for (size_t at = suffix.find("-p"); at != std::string_view::npos; at = suffix.find("-p", at + 1)) {
    std::string_view rest = suffix.substr(at);
    pid_t pid = 0;
    if (consumeProcessId(rest, pid) && (rest.empty() || !isDigit(rest[0]))) {
      pidInSuffix_ = true;
      beforePid_ = suffix.substr(0, at);
      afterPid = rest;
      break;
    }
  }
  if (afterPid.substr(0, 3) == "-id") {
    anyUserId_ = true;
    const size_t dot = afterPid.rfind('.');
    afterUserId_ = dot == std::string_view::npos || dot < 3 ? "" : afterPid.substr(dot);
  } else {
    afterPid_ = afterPid;
  }
}

bool LogFileRetention::matchSuffix(std::string_view rest, pid_t& pid) const {
  pid = 0;
  if (pidInSuffix_) {
    if (!consume(rest, beforePid_) || !consumeProcessId(rest, pid)) {
      return false;
    }
  } else {
    // A forked child puts its id in front of a suffix that had none.
    consumeProcessId(rest, pid);
  }
  if (!anyUserId_) {
    return rest == afterPid_;
  }
  return rest.size() >= 3 + afterUserId_.size() && consume(rest, "-id") &&
         rest.substr(rest.size() - afterUserId_.size()) == afterUserId_;
}

std::optional<LogFileRetention::NameParts> LogFileRetention::match(
    std::string_view fileName) const {
  std::string_view rest = fileName;
  if (!consume(rest, namePrefix_) || !consume(rest, "d") || rest.size() < kStampSize) {
    return std::nullopt;
  }
  const std::string_view stamp = rest.substr(0, kStampSize);
  if (!allDigits(stamp.substr(0, 8)) || stamp.substr(8, 2) != "-t" ||
      !allDigits(stamp.substr(10, 6))) {
    return std::nullopt;
  }
  pid_t pid = 0;
  if (!matchSuffix(rest.substr(kStampSize), pid)) {
    return std::nullopt;
  }
  return NameParts{stamp, pid};
}

void LogFileRetention::apply() const {
  if (!limits_.enabled()) {
    return;
  }
  DIR* dir = ::opendir(directory_.c_str());
  if (dir == nullptr) {
    warn(kDirectoryWarningLine, "error reading log directory ", directory_, errno);
    return;
  }
  std::vector<Candidate> files;
  const int dirFd = ::dirfd(dir);
  while (const struct dirent* entry = ::readdir(dir)) {
    const std::optional<NameParts> parts = match(entry->d_name);
    struct stat status;
    if (parts && ::fstatat(dirFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(status.st_mode)) {
      files.push_back(Candidate{entry->d_name, std::string(parts->stamp), parts->pid,
                                static_cast<uint64_t>(status.st_size)});
    }
  }
  ::closedir(dir);

  std::sort(files.begin(), files.end(), [](const Candidate& a, const Candidate& b) {
    return a.stamp != b.stamp ? a.stamp < b.stamp : a.name < b.name;
  });
  // The newest file of each process (the last in that order) stays while the
  // process runs.
  std::map<pid_t, Candidate*> newest;
  for (Candidate& file : files) {
    if (file.pid > 0) {
      newest[file.pid] = &file;
    }
  }
  for (auto& [pid, file] : newest) {
    file->kept = processRunning(pid);
  }

  const uint64_t maxFiles = limits_.maxFiles.value_or(std::numeric_limits<uint64_t>::max());
  const uint64_t maxBytes = limits_.maxTotalBytes.value_or(std::numeric_limits<uint64_t>::max());
  uint64_t count = files.size();
  uint64_t bytes = 0;
  for (const Candidate& file : files) {
    bytes += file.size;
  }
  for (const Candidate& file : files) {
    if (count <= maxFiles && bytes <= maxBytes) {
      break;
    }
    if (!file.kept && deleteUnlessOpen(directory_ + "/" + file.name)) {
      --count;
      bytes -= file.size;
    }
  }
}

}  // namespace quorvane::kestro::logging
