#pragma once

// LogFileRetention: keeps the files of one rotating channel within a count
// and a total size, deleting its oldest files first.
//
// Which files. Only those whose names the channel's writer could have made,
// with any process id and any user id: prefix + "d" + YYYYMMDD + "-t" + HHMMSS
// + the suffix, where in the suffix the first "-p<digits>" stands for any
// process id and, when the rest starts with "-id", the text between "-id" and
// the suffix's last extension (".log") stands for any user id. A suffix
// without "-p<digits>" also matches with "-p<digits>" in front, the form a
// forked child's files take. Nothing else in the directory is touched: other
// channels, other tags, other extensions, directories, links, files that are
// not regular.
//
// Which go. The files are ordered by the time stamp in their names (then by
// name); while there are more than maxFiles of them, or they take more than
// maxTotalBytes together, the oldest file that may go is deleted. Never
// deleted:
//   - the newest file of every process still running, by the process id in
//     the name (kill(pid, 0) answers; a process of another user counts too);
//   - a file another writer still has open: every RotatingFileLogWriter holds
//     a shared flock(2) on its current file, and a file is deleted only while
//     this pass holds the exclusive lock on it (taken without waiting), so
//     neither can happen while the other holds its lock. A writer that opens
//     a file being deleted sees it unlinked and opens it anew.
//
// Failures (a directory that cannot be read, a file that cannot be removed)
// are internal warnings of the logger database; the pass goes on with the
// next file.
//
// Thread safety: apply() may run on any thread; it touches only the file
// system. A pass of another process at the same time is safe (a file already
// gone counts as deleted).

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::kestro::logging {

struct RetentionLimits {
  std::optional<uint64_t> maxFiles;
  std::optional<uint64_t> maxTotalBytes;

  bool enabled() const { return maxFiles.has_value() || maxTotalBytes.has_value(); }
};

class LogFileRetention {
 public:
  // What a matching name tells.
  struct NameParts {
    std::string_view stamp;  // "YYYYMMDD-tHHMMSS"
    pid_t pid;               // 0 when the name carries none
  };

  LogFileRetention(std::string_view prefix, std::string_view suffix, RetentionLimits limits);

  const RetentionLimits& limits() const { return limits_; }
  const std::string& directory() const { return directory_; }

  // The parts of `fileName` (no directory) when the channel could have made it.
  std::optional<NameParts> match(std::string_view fileName) const;

  // One pass over the directory. Does nothing without limits.
  void apply() const;

 private:
  // Whether `rest`, the name after the time stamp, is the suffix with any
  // process id and user id; sets `pid`.
  bool matchSuffix(std::string_view rest, pid_t& pid) const;

  RetentionLimits limits_;
  std::string directory_;   // of the prefix; "." when it names none
  std::string namePrefix_;  // the prefix's last component
  std::string beforePid_;   // the suffix before "-p<digits>"
  bool pidInSuffix_ = false;
  bool anyUserId_ = false;  // the suffix after the process id starts with "-id"
  std::string afterPid_;    // the suffix after the process id, when not anyUserId_
  std::string afterUserId_; // the suffix's last extension, when anyUserId_
};

}  // namespace quorvane::kestro::logging
