#include "Logging/Shared/Core/src/RotatingFileLogWriter.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <exception>
#include <limits>
#include <system_error>
#include <utility>

#include "Logging/Shared/Core/src/CrashTime.h"
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

struct Piece {
  size_t at;
  size_t size;
};

// Where `suffix` names the process `pid`: the first "-p<pid>" not followed by
// another digit; at == npos when there is none.
Piece processIdPiece(std::string_view suffix, pid_t pid) {
  char text[2 + 21] = {'-', 'p'};
  char* end = putPadded(text + 2, static_cast<int64_t>(pid), 1, '0');
  const std::string_view old(text, static_cast<size_t>(end - text));
  for (size_t at = suffix.find(old); at != std::string_view::npos; at = suffix.find(old, at + 1)) {
    const size_t after = at + old.size();
    if (after == suffix.size() || suffix[after] < '0' || suffix[after] > '9') {
      return {at, old.size()};
    }
  }
  return {std::string_view::npos, 0};
}

// `suffix` with the process id `from` replaced by `to`, or "-p<to>" in front
// when it does not name `from`.
std::string suffixForProcess(const std::string& suffix, pid_t from, pid_t to) {
  const std::string replacement = "-p" + std::to_string(to);
  const Piece piece = processIdPiece(suffix, from);
  if (piece.at == std::string::npos) {
    return replacement + suffix;
  }
  return suffix.substr(0, piece.at) + replacement + suffix.substr(piece.at + piece.size);
}

// "d" + strftime "%Y%m%d-t%H%M%S", written field by field: the calendar fields
// are all zero when the breakdown failed, which the formatting engine's time
// support rejects in checked builds. Writes at most kStampCapacity bytes.
constexpr size_t kStampCapacity = 1 + 21 + 5 * 21 + 2;
char* putStamp(char* p, const std::tm& t) {
  *p++ = 'd';
  p = putPadded(p, int64_t{t.tm_year} + 1900, 4, '0');
  p = putPadded(p, t.tm_mon + 1, 2, '0');
  p = putPadded(p, t.tm_mday, 2, '0');
  *p++ = '-';
  *p++ = 't';
  p = putPadded(p, t.tm_hour, 2, '0');
  p = putPadded(p, t.tm_min, 2, '0');
  return putPadded(p, t.tm_sec, 2, '0');
}

int64_t secondsOf(int64_t micros) {
  // Whole seconds, rounded down (also before the epoch).
  return micros / kMicrosPerSecond - (micros % kMicrosPerSecond < 0 ? 1 : 0);
}

// A bounded text buffer for the crash path; append reports overflow.
class FixedText {
 public:
  FixedText(char* buffer, size_t capacity) : begin_(buffer), end_(buffer + capacity) {}
  bool append(std::string_view text) {
    if (text.size() >= static_cast<size_t>(end_ - p_)) {
      return false;
    }
    p_ = std::copy(text.begin(), text.end(), p_);
    *p_ = '\0';
    return true;
  }
  const char* data() const { return begin_; }
  size_t size() const { return static_cast<size_t>(p_ - begin_); }

 private:
  char* begin_;
  char* end_;
  char* p_ = begin_;
};

// Opens `name` for appending and takes the shared lock that keeps retention
// passes away from it. A file unlinked by such a pass between the open and
// the lock is opened anew (created again); after a few tries, or on a file
// system without locks, the descriptor is kept as it is. Async-signal-safe.
int openLocked(const char* name) noexcept {
  constexpr int kTries = 3;
  for (int attempt = 1;; ++attempt) {
    const int fd = currentFileOps().open(name, kOpenFlags, kOpenMode);
    if (fd < 0) {
      return fd;
    }
    struct stat status;
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
      if (::fstat(fd, &status) != 0 || status.st_nlink > 0) {
        return fd;
      }
    } else if (errno != EWOULDBLOCK) {
      return fd;
    }
    if (attempt == kTries) {
      return fd;
    }
    currentFileOps().close(fd);
    const struct timespec pause = {0, 1'000'000};
    ::nanosleep(&pause, nullptr);
  }
}

}  // namespace

int64_t RotatingFileLogWriter::systemWallClock() noexcept {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

RotatingFileLogWriter::RotatingFileLogWriter(std::string prefix, std::string suffix,
                                             uint64_t maxFileSize, uint64_t maxLogAge,
                                             WallClock clock, RetentionLimits retention,
                                             bool reportsCrashes)
    : prefix_(std::move(prefix)),
      suffix_(std::move(suffix)),
      maxFileSize_(maxFileSize),
      maxLogAge_(saturatedSeconds(maxLogAge)),
      maxLogAgeMicros_(saturatedMicros(maxLogAge_)),
      clock_(clock),
      retention_(prefix_, suffix_, retention),
      reportsCrashes_(reportsCrashes),
      processId_(::getpid()),
      forkGeneration_(forkGeneration.load(std::memory_order_relaxed)) {}

void RotatingFileLogWriter::startRetention() {
  if (retention_.limits().enabled()) {
    // An empty message writes nothing; its batch runs the pass. Queuing it
    // orders this store before the I/O thread's read.
    retentionDue_ = true;
    writeMessage(std::string_view{}, NEVER_DISCARD);
  }
}

RotatingFileLogWriter::~RotatingFileLogWriter() {
  // Writes what is still queued while the file state exists.
  cleanup();
  file_.close();
}

std::string RotatingFileLogWriter::fileNameFor(int64_t micros) const {
  const std::tm t = cachedLocalCalendarTime(secondsOf(micros));
  noteLocalZoneOffset(t.tm_gmtoff);
  char stamp[kStampCapacity];
  char* end = putStamp(stamp, t);
  std::string name;
  name.reserve(prefix_.size() + static_cast<size_t>(end - stamp) + suffix_.size());
  name.append(prefix_);
  name.append(stamp, end);
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
  const int fd = openLocked(name.c_str());
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
  retentionDue_ = retention_.limits().enabled();
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
  nextLine_.store(0, std::memory_order_relaxed);
  inFlight_.store(&batch, std::memory_order_relaxed);
  while (next < batch.size()) {
    uint64_t bytes = 0;
    const size_t count = chunkLength(batch, next, bytes);
    writeChunk(batch, next, count, bytes);
    next += count;
    nextLine_.store(next, std::memory_order_relaxed);
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
  if (discarded != 0 || batch.byteSize() != 0) {
    writeLinesAndDiscards(batch, discarded);
    inFlight_.store(nullptr, std::memory_order_relaxed);
  }
  applyRetention();
}

void RotatingFileLogWriter::writeLinesAndDiscards(const LogBatch& batch, size_t discarded) {
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

void RotatingFileLogWriter::applyRetention() {
  // The limits never change after construction; without any, a batch of
  // flush markers touches none of the state the file-writing path keeps.
  if (!retention_.limits().enabled() || !retentionDue_) {
    return;
  }
  retentionDue_ = false;
  try {
    retention_.apply();
  } catch (const std::exception& ex) {
    LoggerDB::internalWarning(kWarningSource, kWarningLine,
                              "error applying log file retention in RotatingFileLogWriter: " +
                                  exceptionDescription(ex));
  }
}

bool RotatingFileLogWriter::takeFileAfterCrash() noexcept {
  const pid_t pid = ::getpid();
  if (file_ && pid == processId_) {
    return true;
  }
  // No file yet, or the parent's: a file named for now and this process,
  // built without allocating; a suffix without the parent's id gets the
  // child's in front, as on the normal path.
  char buffer[4096];
  FixedText name(buffer, sizeof buffer);
  const int64_t now = clock_();
  char stamp[kStampCapacity];
  const char* stampEnd = putStamp(stamp, crashLocalTime(secondsOf(now)));
  char processText[2 + 21] = {'-', 'p'};
  const char* processEnd = putPadded(processText + 2, static_cast<int64_t>(pid), 1, '0');
  const std::string_view processPiece(processText, static_cast<size_t>(processEnd - processText));
  const std::string_view suffix = suffix_;
  const Piece old = pid == processId_ ? Piece{std::string_view::npos, 0}
                                      : processIdPiece(suffix, processId_);
  bool fits = name.append(prefix_) && name.append({stamp, static_cast<size_t>(stampEnd - stamp)});
  if (pid == processId_) {
    fits = fits && name.append(suffix);
  } else if (old.at == std::string_view::npos) {
    fits = fits && name.append(processPiece) && name.append(suffix);
  } else {
    fits = fits && name.append(suffix.substr(0, old.at)) && name.append(processPiece) &&
           name.append(suffix.substr(old.at + old.size));
  }
  if (!fits) {
    return false;
  }
  const int fd = openLocked(name.data());
  if (fd < 0) {
    return false;
  }
  // A parent's descriptor is only this process's copy; closing it is safe.
  file_ = File(fd, true);
  fileOpenedAt_ = now;
  bytesWritten_ = 0;
  partialLine_ = false;
  return true;
}

void RotatingFileLogWriter::writeAfterCrash(const char* data, size_t size) noexcept {
  if (size == 0 || !takeFileAfterCrash()) {
    return;
  }
  if (partialLine_ && writeFull(file_.fd(), "\n", 1) == 1) {
    partialLine_ = false;
  }
  const ssize_t written = writeFull(file_.fd(), data, size);
  if (written > 0) {
    bytesWritten_ += static_cast<uint64_t>(written);
  }
}

void RotatingFileLogWriter::writeBatchAfterCrash(const LogBatch& batch, size_t discarded) {
  const std::string_view lines = batch.range(0, batch.size());
  writeAfterCrash(lines.data(), lines.size());
  const size_t unreported = discarded + unreportedDiscards_;
  if (unreported > 0) {
    constexpr std::string_view kText =
        " log messages were discarded because the logging rate exceeded the write rate\n";
    char line[21 + kText.size()];
    char* end = putPadded(line, static_cast<uint64_t>(unreported), 1, '0');
    end = std::copy(kText.begin(), kText.end(), end);
    writeAfterCrash(line, static_cast<size_t>(end - line));
    unreportedDiscards_ = 0;
  }
}

void RotatingFileLogWriter::finishBatchAfterCrash() {
  const LogBatch* batch = inFlight_.exchange(nullptr, std::memory_order_relaxed);
  if (batch == nullptr) {
    return;
  }
  const size_t next = nextLine_.load(std::memory_order_relaxed);
  if (next < batch->size()) {
    const std::string_view rest = batch->range(next, batch->size() - next);
    writeAfterCrash(rest.data(), rest.size());
  }
}

void RotatingFileLogWriter::appendAfterCrash(const char* text, size_t size) noexcept {
  writeAfterCrash(text, size);
}

}  // namespace quorvane::kestro::logging
