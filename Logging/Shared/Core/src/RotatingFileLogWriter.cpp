#include "Logging/Shared/Core/src/RotatingFileLogWriter.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <exception>
#include <limits>
#include <system_error>
#include <utility>

#include "common/logging/LoggerDB.h"
#include "common/logging/internal/PaddedDecimal.h"
#include "common/utilities/ExceptionString.h"
#include "common/utilities/FileOps.h"
#include "common/utilities/FileUtil.h"
#include "common/utilities/LocalTime.h"

namespace quorvane::kestro::logging {
namespace {

using quorvane::logging::internal::putPadded;

constexpr int64_t kMicrosPerSecond = 1'000'000;
constexpr int64_t kMaxInt64 = std::numeric_limits<int64_t>::max();

// The warning of a failed batch is reported under this location wherever the
// source tree lives.
constexpr std::string_view kWarningSource = "Logging/Shared/Core/src/RotatingFileLogWriter";
constexpr int kWarningLine = 62;

constexpr int kOpenFlags = O_WRONLY | O_APPEND | O_CREAT;
constexpr mode_t kOpenMode = 0666;

int64_t saturatedSeconds(uint64_t seconds) {
  return seconds > static_cast<uint64_t>(kMaxInt64) ? kMaxInt64 : static_cast<int64_t>(seconds);
}

int64_t saturatedMicros(int64_t seconds) {
  return seconds > kMaxInt64 / kMicrosPerSecond ? kMaxInt64 : seconds * kMicrosPerSecond;
}

// Counts the forks this process image has gone through as a child, so that a
// writer notices it is in a new process with one relaxed load per batch
// instead of a system call. Registered while the image initialises, before any
// thread can fork. It runs before fork() returns in the child, and no line can
// reach a writer there before that, so no batch of the child misses it.
std::atomic<uint64_t> forkGeneration{0};
void countForkInChild() noexcept { forkGeneration.fetch_add(1, std::memory_order_relaxed); }
const int forkCounterRegistered = ::pthread_atfork(nullptr, nullptr, &countForkInChild);

// Whether the process may have forked since `generation` was read.
bool forkedSince(uint64_t generation) {
  // Without the hook there is no telling: ask the system every time.
  return forkCounterRegistered != 0 || forkGeneration.load(std::memory_order_relaxed) != generation;
}

// `suffix` with the process id `from` replaced by `to`: the first "-p<from>"
// not followed by another digit, or "-p<to>" in front when there is none.
std::string suffixForProcess(const std::string& suffix, pid_t from, pid_t to) {
  const std::string old = "-p" + std::to_string(from);
  const std::string replacement = "-p" + std::to_string(to);
  for (size_t at = suffix.find(old); at != std::string::npos; at = suffix.find(old, at + 1)) {
    const size_t end = at + old.size();
    if (end == suffix.size() || suffix[end] < '0' || suffix[end] > '9') {
      return suffix.substr(0, at) + replacement + suffix.substr(end);
    }
  }
  return replacement + suffix;
}

}  // namespace

int64_t RotatingFileLogWriter::systemWallClock() noexcept {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

RotatingFileLogWriter::RotatingFileLogWriter(std::string prefix, std::string suffix,
                                             uint64_t maxFileSize, uint64_t maxLogAge,
                                             WallClock clock)
    : prefix_(std::move(prefix)),
      suffix_(std::move(suffix)),
      maxFileSize_(maxFileSize),
      maxLogAge_(saturatedSeconds(maxLogAge)),
      maxLogAgeMicros_(saturatedMicros(maxLogAge_)),
      clock_(clock),
      processId_(::getpid()),
      forkGeneration_(forkGeneration.load(std::memory_order_relaxed)) {}

RotatingFileLogWriter::~RotatingFileLogWriter() {
  // Writes what is still queued while the file state exists.
  cleanup();
  file_.close();
}

std::string RotatingFileLogWriter::fileNameFor(int64_t micros) const {
  // Whole seconds, rounded down (also before the epoch).
  const int64_t seconds = micros / kMicrosPerSecond - (micros % kMicrosPerSecond < 0 ? 1 : 0);
  const std::tm t = cachedLocalCalendarTime(seconds);
  // prefix + "d" + strftime "%Y%m%d-t%H%M%S" + suffix, written field by field:
  // the calendar fields are all zero when the breakdown failed, which the
  // formatting engine's time support rejects in checked builds.
  char stamp[1 + 21 + 5 * 21 + 2];
  char* p = stamp;
  *p++ = 'd';
  p = putPadded(p, int64_t{t.tm_year} + 1900, 4, '0');
  p = putPadded(p, t.tm_mon + 1, 2, '0');
  p = putPadded(p, t.tm_mday, 2, '0');
  *p++ = '-';
  *p++ = 't';
  p = putPadded(p, t.tm_hour, 2, '0');
  p = putPadded(p, t.tm_min, 2, '0');
  p = putPadded(p, t.tm_sec, 2, '0');
  std::string name;
  name.reserve(prefix_.size() + static_cast<size_t>(p - stamp) + suffix_.size());
  name.append(prefix_);
  name.append(stamp, p);
  name.append(suffix_);
  return name;
}

bool RotatingFileLogWriter::fileExpired(int64_t now) const {
  // fileOpenedAt_ + maxLogAgeMicros_, held at the largest time instead of
  // wrapping, so that a huge age never expires.
  const int64_t deadline =
      fileOpenedAt_ > kMaxInt64 - maxLogAgeMicros_ ? kMaxInt64 : fileOpenedAt_ + maxLogAgeMicros_;
  return deadline < now;
}

void RotatingFileLogWriter::openNewFile() {
  const int64_t now = clock_();
  const std::string name = fileNameFor(now);
  const int fd = currentFileOps().open(name.c_str(), kOpenFlags, kOpenMode);
  if (fd < 0) {
    // Read before the message is built, which may allocate and change it.
    const int error = errno;
    throw std::system_error(
        error, std::system_category(),
        fmt::format("open(\"{}\", {:#o}, 0{:#o}) failed", name, kOpenFlags, kOpenMode));
  }
  // Closes the previous file, if any.
  file_ = File(fd, true);
  fileOpenedAt_ = now;
  bytesWritten_ = 0;
  if (partialLine_) {
    // Only a reopened file (same name, same second) still ends in the
    // partial line; a new one is empty.
    struct stat status;
    partialLine_ = ::fstat(fd, &status) != 0 || status.st_size != 0;
  }
}

bool RotatingFileLogWriter::fileRemoved() const {
  struct stat status;
  return ::fstat(file_.fd(), &status) == 0 && status.st_nlink == 0;
}

void RotatingFileLogWriter::leaveParentFile(pid_t child) {
  // Closes only the child's copy of the descriptor.
  file_.close();
  fileOpenedAt_ = 0;
  bytesWritten_ = 0;
  partialLine_ = false;
  suffix_ = suffixForProcess(suffix_, processId_, child);
  processId_ = child;
}

void RotatingFileLogWriter::finishPartialLine() {
  const ssize_t written = writeFull(file_.fd(), "\n", 1);
  if (written < 0) {
    throw std::system_error(errno, std::system_category(), "writeFull() failed");
  }
  if (written != 1) {
    throw std::system_error(std::make_error_code(std::errc::io_error), "writeFull() failed");
  }
  partialLine_ = false;
  ++bytesWritten_;
}

void RotatingFileLogWriter::writeChunk(const LogBatch& batch, size_t first, size_t count,
                                       size_t bytes) {
  if (partialLine_) {
    finishPartialLine();
  }
  // The lines of a batch lie back to back, so the chunk is one piece of the
  // gathering write however many lines it holds.
  const std::string_view lines = batch.range(first, count);
  struct iovec piece = {const_cast<char*>(lines.data()), lines.size()};
  size_t progress = 0;
  const ssize_t written = writevFull(file_.fd(), &piece, 1, &progress);
  if (written < 0 || static_cast<size_t>(written) != bytes) {
    const int error = errno;
    // Whether the bytes that did go out end inside a line.
    partialLine_ = progress > 0 && lines[progress - 1] != '\n';
    if (written < 0) {
      throw std::system_error(error, std::system_category(), "writevFull() failed");
    }
    // The system accepted nothing more (writev returned 0): report it instead
    // of counting the chunk as written.
    throw std::system_error(std::make_error_code(std::errc::io_error), "writevFull() failed");
  }
}

void RotatingFileLogWriter::takeCurrentFile() {
  if (forkedSince(forkGeneration_)) {
    forkGeneration_ = forkGeneration.load(std::memory_order_relaxed);
    if (const pid_t pid = ::getpid(); pid != processId_) {
      leaveParentFile(pid);
    }
  }
  if (!file_ || fileExpired(clock_()) || fileRemoved()) {
    openNewFile();
  }
}

size_t RotatingFileLogWriter::chunkLength(const LogBatch& batch, size_t first,
                                          uint64_t& bytes) const {
  // What is left of the size limit. A file already at the limit (a limit of 0,
  // or a rotation that failed) has none left: the chunk is then one line, and
  // the rotation is tried again after it.
  const uint64_t budget = bytesWritten_ < maxFileSize_ ? maxFileSize_ - bytesWritten_ : 0;
  const size_t end = std::min(batch.size(), first + kMaxLinesPerWrite);
  size_t count = 0;
  bytes = 0;
  // Lines are taken while the total so far is within the budget, so the line
  // that crosses it is still taken.
  while (first + count < end && bytes <= budget) {
    bytes += batch[first + count].size();
    ++count;
  }
  return count;
}

void RotatingFileLogWriter::writeLines(const LogBatch& batch) {
  size_t next = 0;
  while (next < batch.size()) {
    uint64_t bytes = 0;
    const size_t count = chunkLength(batch, next, bytes);
    writeChunk(batch, next, count, bytes);
    next += count;
    bytesWritten_ += bytes;
    if (bytesWritten_ >= maxFileSize_) {
      openNewFile();
    }
  }
}

void RotatingFileLogWriter::writeDiscardLine(size_t discarded) {
  if (partialLine_) {
    finishPartialLine();
  }
  const std::string line = fmt::format(
      "{} log messages were discarded because the logging rate exceeded the write rate\n",
      discarded);
  // Best effort, and not counted against the size limit.
  (void)writeFull(file_.fd(), line.data(), line.size());
}

void RotatingFileLogWriter::writeBatch(const LogBatch& batch, size_t discarded) {
  // A batch of flush markers only has nothing to write: it must neither create
  // the first file nor rotate an old one.
  if (discarded == 0 && batch.byteSize() == 0) {
    return;
  }
  // Drops that a failed batch could not report go out with this one.
  const size_t unreported = discarded + unreportedDiscards_;
  try {
    takeCurrentFile();
    writeLines(batch);
    if (unreported > 0) {
      writeDiscardLine(unreported);
    }
    unreportedDiscards_ = 0;
  } catch (const std::exception& ex) {
    unreportedDiscards_ = unreported;
    LoggerDB::internalWarning(
        kWarningSource, kWarningLine,
        fmt::format("error writing to log file {} in RotatingFileLogWriter: {}", file_.fd(),
                    exceptionDescription(ex)));
  }
}

}  // namespace quorvane::kestro::logging
