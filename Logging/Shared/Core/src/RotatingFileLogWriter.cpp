#include "Logging/Shared/Core/src/RotatingFileLogWriter.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/uio.h>

#include <algorithm>
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

using quorvane::logging_internal::putPadded;

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
      clock_(clock) {
}

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
  const int64_t deadline = fileOpenedAt_ > kMaxInt64 - maxLogAgeMicros_
                               ? kMaxInt64
                               : fileOpenedAt_ + maxLogAgeMicros_;
  return deadline < now;
}

void RotatingFileLogWriter::openNewFile() {
  const int64_t now = clock_();
  const std::string name = fileNameFor(now);
  const int fd = currentFileOps().open(name.c_str(), kOpenFlags, kOpenMode);
  if (fd < 0) {
    throw std::system_error(
        errno, std::system_category(),
        fmt::format("open(\"{}\", {:#o}, 0{:#o}) failed", name, kOpenFlags, kOpenMode));
  }
  // Closes the previous file, if any.
  file_ = File(fd, true);
  fileOpenedAt_ = now;
  bytesWritten_ = 0;
}

void RotatingFileLogWriter::writeChunk(const LogBatch& batch, size_t first, size_t count,
                                       size_t bytes) {
  // The lines of a batch lie back to back, so the chunk is one piece of the
  // gathering write however many lines it holds.
  const std::string_view lines = batch.range(first, count);
  struct iovec piece = {const_cast<char*>(lines.data()), lines.size()};
  const ssize_t written = writevFull(file_.fd(), &piece, 1);
  if (written < 0) {
    throw std::system_error(errno, std::system_category(), "writevFull() failed");
  }
  if (static_cast<size_t>(written) != bytes) {
    // The system accepted nothing more (writev returned 0): report it instead
    // of counting the chunk as written.
    throw std::system_error(std::make_error_code(std::errc::io_error), "writevFull() failed");
  }
}

void RotatingFileLogWriter::writeBatch(const LogBatch& batch, size_t discarded) {
  // A batch of flush markers only has nothing to write: it must neither create
  // the first file nor rotate an old one.
  if (discarded == 0 && batch.byteSize() == 0) {
    return;
  }

  try {
    if (!file_) {
      openNewFile();
    } else if (fileExpired(clock_())) {
      openNewFile();
    }

    size_t next = 0;
    while (next < batch.size()) {
      // What is left of the size limit. After a failed rotation the file is
      // already past it; the chunk then goes to that file whole and the
      // rotation is tried again after it.
      const uint64_t budget = bytesWritten_ < maxFileSize_
                                  ? maxFileSize_ - bytesWritten_
                                  : std::numeric_limits<uint64_t>::max();
      const size_t end = std::min(batch.size(), next + kMaxLinesPerWrite);
      size_t count = 0;
      uint64_t bytes = 0;
      // Lines are taken while the total so far is within the budget, so the
      // line that crosses it is still taken.
      while (next + count < end && bytes <= budget) {
        bytes += batch[next + count].size();
        ++count;
      }
      writeChunk(batch, next, count, bytes);
      next += count;
      bytesWritten_ += bytes;
      if (bytesWritten_ >= maxFileSize_) {
        openNewFile();
      }
    }

    if (discarded > 0) {
      const std::string line = fmt::format(
          "{} log messages were discarded because the logging rate exceeded the write rate\n",
          discarded);
      // Best effort, and not counted against the size limit.
      (void)writeFull(file_.fd(), line.data(), line.size());
    }
  } catch (const std::exception& ex) {
    LoggerDB::internalWarning(kWarningSource, kWarningLine,
                              fmt::format("error writing to log file {} in RotatingFileLogWriter: {}",
                                          file_.fd(), exceptionDescription(ex)));
  }
}

}  // namespace quorvane::kestro::logging
