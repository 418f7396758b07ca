#pragma once

// RotatingFileLogWriter: an asynchronous writer that appends lines to a file
// named after the moment it was opened, and moves on to a new file when the
// current one reaches a size limit or an age limit. Old files are never moved
// or truncated, and deleted only under retention limits (below).
//
// File names: prefix + "d" + the local date and time of opening as
// "%Y%m%d-t%H%M%S" + suffix, e.g. /logs/kestro-main-d20240312-t140509-p42.log.
// Files are opened write-only in append mode, created with mode 0666 (before
// the umask) and never truncated, so two files opened within the same second
// are one file: the second open appends to it.
//
// No file exists until the first batch with text arrives (a flush on a writer
// that never received a line creates nothing). Each batch then:
//   - opens the first file, or replaces the current one when it is older than
//     maxLogAge seconds (checked only when a batch arrives: an idle writer
//     keeps its file);
//   - writes its lines in chunks of at most 1024, one gathering write each
//     (the lines of a batch lie back to back, so a chunk is one piece);
//     a chunk takes lines while the bytes taken so far do not exceed what is
//     left of maxFileSize, so it may end past the limit by at most one line;
//     when the file holds maxFileSize bytes or more after a chunk, the next
//     file is opened;
//   - ends with the line "<n> log messages were discarded because the logging
//     rate exceeded the write rate" when the queue dropped lines.
// A file already at the size limit (a limit of 0, or after a rotation that
// failed) takes one line per chunk, then the next file is opened: with a limit
// of 0 every line starts a new file.
// A failure (open or write) ends the batch: its remaining lines are lost and
// one internal warning "error writing to log file <fd> in
// RotatingFileLogWriter: <exception>" is reported; the next batch starts
// afresh (a failed open is retried with every batch). The count of dropped
// lines the failed batch carried is added to the next batch's count, so that
// the discard line written with that batch reports them too. When a failed write left
// part of a line in the file (a full disk, a file size limit), the next line
// written to that file starts on a line of its own.
//
// A current file that has been removed (its directory deleted, say) is
// replaced when the next batch arrives, instead of writing on into a file no
// one can read: while the directory is missing, each batch is lost with one
// warning, and logging resumes in a new file once it is back.
//
// Fork: a forked child never writes into the parent's file, and names its
// files without the C library's time-zone code (see LocalTime.h). Its first
// batch opens a file of its own, whose name carries the child's process id:
// the text "-p<parent id>" in the suffix becomes "-p<child id>", and a suffix
// without the parent's id gets "-p<child id>" in front.
//
// Limits near the top of their ranges mean "never": an age that does not fit
// in signed microseconds is held at the largest value, not wrapped.
//
// Retention: with limits (a count, a total size), a pass of LogFileRetention
// deletes the channel's oldest files over them, on the I/O thread, once when
// the writer starts and after every batch that opened a file. The writer
// holds a shared flock(2) on its current file, which such a pass (of any
// process) respects; a file found unlinked just after it was opened is opened
// anew.
//
// Crash: writeBatchAfterCrash writes a batch into the current file without
// allocating, rotating or reporting warnings (a file is opened, named from the
// zone offset of CrashTime.h, when there is none or it is the parent's of a
// fork); finishBatchAfterCrash writes the lines of the batch in progress that
// its I/O thread had not written when it crashed; appendAfterCrash adds a
// text (the crash report, on the writer that reportsCrashes()).
//
// Thread safety: as AsyncLogWriter (writeMessage and flush from any thread).
// The file state is touched only on the I/O thread, or in the destructor after
// that thread has stopped. Destruction writes whatever is still queued, then
// closes the file.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <atomic>

#include "Logging/Shared/Core/src/LogFileRetention.h"
#include "common/logging/AsyncLogWriter.h"
#include "common/utilities/File.h"

namespace quorvane::kestro::logging {

class RotatingFileLogWriter : public AsyncLogWriter {
 public:
  // The most lines one gathering write carries.
  static constexpr size_t kMaxLinesPerWrite = 1024;

  // Microseconds since the Unix epoch. Tests supply their own; everyone else
  // uses systemWallClock.
  using WallClock = int64_t (*)() noexcept;
  static int64_t systemWallClock() noexcept;

  // maxFileSize in bytes, maxLogAge in seconds. Opens nothing and queues
  // nothing (see startRetention).
  RotatingFileLogWriter(std::string prefix, std::string suffix, uint64_t maxFileSize,
                        uint64_t maxLogAge, WallClock clock = &systemWallClock,
                        RetentionLimits retention = {}, bool reportsCrashes = false);
  ~RotatingFileLogWriter() override;

  // With retention limits, queues the first retention pass, which the I/O
  // thread runs, so that neither a logging caller nor the configuring thread
  // waits for it; without, does nothing. Call once, after construction has
  // finished, a subclass's included: the I/O thread's call into writeBatch
  // would otherwise race with the constructors' change of the object's type.
  void startRetention();

  bool writesToTerminal() const override { return false; }

  // The name of the file opened at `micros` (local time of the process's zone;
  // in a forked child, of the zone in force at the fork, see LocalTime.h).
  std::string fileNameFor(int64_t micros) const;

  const std::string& prefix() const { return prefix_; }
  // Changes only in a forked child, on the I/O thread (see above).
  const std::string& suffix() const { return suffix_; }
  uint64_t maxFileSize() const { return maxFileSize_; }
  // Seconds, held at INT64_MAX when the configured age does not fit.
  int64_t maxLogAge() const { return maxLogAge_; }
  const RetentionLimits& retentionLimits() const { return retention_.limits(); }
  // Whether the crash report goes to this writer's file.
  bool reportsCrashes() const { return reportsCrashes_; }

  // The crash path: appends `text` to the current file (opening one if need
  // be). Async-signal-safe; for the crashing thread, after writeOutAfterCrash.
  void appendAfterCrash(const char* text, size_t size) noexcept;

 protected:
  void writeBatch(const LogBatch& batch, size_t discarded) override;
  void writeBatchAfterCrash(const LogBatch& batch, size_t discarded) override;
  void finishBatchAfterCrash() override;

 private:
  // Opens the file named after the current time and makes it current. Throws
  // std::system_error when the open fails, leaving the current file as it was.
  void openNewFile();
  // Whether the current file has passed its age at `now`.
  bool fileExpired(int64_t now) const;
  // Whether the current file has been removed from its directory.
  bool fileRemoved() const;
  // In a forked child: lets go of the parent's file and takes the child's id
  // into the suffix.
  void leaveParentFile(pid_t child);
  // Ends the partial line a failed write left in the current file.
  void finishPartialLine();
  // Moves to the child's own file after a fork, and opens a new file when
  // there is none or the current one is too old or removed.
  void takeCurrentFile();
  // How many lines from `first` the next chunk takes (their size in `bytes`).
  size_t chunkLength(const LogBatch& batch, size_t first, uint64_t& bytes) const;
  // Writes the batch's lines chunk by chunk, rotating when the file is full.
  void writeLines(const LogBatch& batch);
  // Writes the lines [first, first + count) with one gathering write.
  void writeChunk(const LogBatch& batch, size_t first, size_t count, size_t bytes);
  // The line reporting `discarded` dropped lines; best effort.
  void writeDiscardLine(size_t discarded);
  // writeBatch's work on a batch that has text or drops.
  void writeLinesAndDiscards(const LogBatch& batch, size_t discarded);
  // The retention pass, when one is due.
  void applyRetention();
  // Crash path: makes sure a file of this process is current; writes bytes.
  bool takeFileAfterCrash() noexcept;
  void writeAfterCrash(const char* data, size_t size) noexcept;

  const std::string prefix_;
  std::string suffix_;
  const uint64_t maxFileSize_;
  const int64_t maxLogAge_;
  // maxLogAge_ in microseconds, held at INT64_MAX.
  const int64_t maxLogAgeMicros_;
  const WallClock clock_;
  const LogFileRetention retention_;
  const bool reportsCrashes_;

  // I/O thread only.
  pid_t processId_;                // the process the current file belongs to
  uint64_t forkGeneration_;        // forks seen when processId_ was read
  uint64_t bytesWritten_ = 0;      // text written to the current file
  int64_t fileOpenedAt_ = 0;       // microseconds; 0 before the first file
  bool partialLine_ = false;       // the current file ends inside a line
  size_t unreportedDiscards_ = 0;  // drops of failed batches, not yet written
  bool retentionDue_ = false;
  File file_;
  // The batch writeLines is writing and its first line not yet written, for
  // the crash path on this same thread.
  std::atomic<const LogBatch*> inFlight_{nullptr};
  std::atomic<size_t> nextLine_{0};
};

}  // namespace quorvane::kestro::logging
