#pragma once

// AsyncLogWriter: a writer whose logging threads only queue text; one
// background thread per writer (named "log_writer") does the I/O.
//
// Queueing. Messages go into the current one of two queues. The I/O thread
// swaps the queues whenever the current one holds something and hands the full
// one to writeBatch, so logging threads fill one queue while the other is
// written. While the current queue holds maxBufferSize bytes or more, new
// messages are dropped and counted (the check is made before a message is
// added, so a queue may overshoot the limit by one message); NEVER_DISCARD
// messages are always queued. The count of drops is passed to writeBatch with
// the queue that was filling while they happened.
//
// A queue is a LogBatch: the text of its messages back to back in one buffer
// that is kept from batch to batch, so a logging thread's cost is a copy of its
// text under the mutex and no allocation once the buffers have grown to their
// working size (a buffer grown past four times the limit by NEVER_DISCARD
// messages is given back after its batch). writeMessage never takes a string's
// storage: the owned-text form copies as well and leaves the caller's string
// as it was, so a caller may reuse its storage for the next message.
//
// Waking. Logging threads never signal an I/O thread that is busy writing: it
// looks at the queue again when it is done. After writing a batch, when no new
// message has come, the I/O thread waits up to the gathering time (200 µs by
// default) for more before it writes again; messages that arrive meanwhile are
// collected without waking it, unless the queue reaches half its limit (so
// the wait never makes messages be dropped) or someone flushes. Only when that
// wait ends with nothing queued does the thread go to sleep; the next message
// then wakes it. So a stream of messages costs its logging threads no system
// call, and a line reaches the file at most the gathering time later than it
// would with an eager writer.
//
// flush() returns once everything queued before the call has been written:
// it waits for two queue swaps made after its own (empty, never counted)
// markers were queued.
//
// Fork. Each writer registers fork callbacks with the ForkHandlerRegistry:
// before a fork the writer's mutex is taken and its I/O thread stopped (after
// the batch in progress); after it, in the parent and in the child, a new I/O
// thread starts. The child drops the messages that were pending in the parent,
// which the parent still writes itself. Logging threads of the parent wait on
// the writer's mutex while a fork is in progress. Keep writers on the heap (they
// are shared objects anyway): a child reuses the stacks of the parent's other
// threads for the threads it starts, so a writer living on such a stack would
// be overwritten there.
//
// Subclass contract. A subclass supplies writeBatch and writesToTerminal, and
// calls cleanup() first thing in its destructor, while the state writeBatch
// needs still exists: cleanup stops the I/O thread and hands whatever is still
// queued to writeBatch. writeBatch runs on the I/O thread (or inside cleanup),
// never concurrently with itself, without any lock of this class held; it must
// not throw. The I/O thread starts in this class's constructor, before the
// subclass's fields exist, but calls writeBatch only after a message has been
// queued, which cannot happen before construction has finished. A subclass
// that forgets cleanup() gets the internal warning "cleanup() is not called
// before destroying" and its queued messages are lost.
//
// Crash. Every writer is listed in the CrashFlushRegistry from its start until
// cleanup() has written its last line. writeOutAfterCrash, called by a
// fatal-signal handler on the thread that crashed, writes what the writer has
// accepted and not yet written, taking no lock that thread may hold: it tries
// the writer's mutex until a deadline and goes on without it (the holder is
// then taken to be the crashing thread, which no longer runs), waits until the
// deadline for a batch the I/O thread is writing to end, and, when the I/O
// thread is the one that crashed, lets the subclass finish that batch first.
//
// Errors: the constructor and the after-fork restart throw std::system_error
// with the thread library's code and "thread constructor failed" when the I/O
// thread cannot be created (after a fork this ends the process).
//
// Thread safety: writeMessage, flush and setMaxBufferSize may be called from
// any thread, concurrently. flush() called from writeBatch (on the I/O thread
// itself) returns at once, and flush() after cleanup() returns without waiting.

#include <pthread.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "common/logging/LogBatch.h"
#include "common/logging/LogWriter.h"
#include "common/utilities/AdaptiveMutex.h"

namespace quorvane {

class AsyncLogWriter : public LogWriter {
 public:
  static constexpr size_t kDefaultMaxBufferSize = 1024 * 1024;
  // A queue's storage is kept between batches up to four times the limit, and
  // never above this.
  static constexpr size_t kMaxKeptQueueBytes = 256 * 1024 * 1024;
  // Stack of the I/O thread. It needs little; and a size other than the
  // default one means that a thread a forked child starts never reuses the
  // stack of a parent thread that was still running at the fork (those stacks
  // still hold that thread's objects, and tools still track its id).
  static constexpr size_t kIoThreadStackSize = 1024 * 1024;

  // Registers the fork callbacks and starts the I/O thread.
  AsyncLogWriter();
  ~AsyncLogWriter() override;

  AsyncLogWriter(const AsyncLogWriter&) = delete;
  AsyncLogWriter& operator=(const AsyncLogWriter&) = delete;

  using LogWriter::writeMessage;
  // Queues a copy of the text, or drops and counts it when the current queue
  // is at or over the limit and flags lack NEVER_DISCARD.
  void writeMessage(std::string_view buffer, uint32_t flags = 0) override;
  // The same; `buffer` is left as it was (its storage stays the caller's).
  void writeMessage(std::string&& buffer, uint32_t flags = 0) override;

  void flush() override;

  // The byte limit of the current queue.
  void setMaxBufferSize(size_t size);
  size_t maxBufferSize() const;

  // How long the I/O thread, having written a batch, gathers new messages
  // before writing them. Zero writes every message as soon as possible.
  static constexpr std::chrono::microseconds kDefaultGatheringTime{200};
  void setGatheringTime(std::chrono::microseconds time);

  // The crash path (see above): writes the lines queued and not yet written,
  // by `deadline` (CLOCK_MONOTONIC nanoseconds) as far as waiting goes.
  // Async-signal-safe as far as writeBatchAfterCrash and finishBatchAfterCrash
  // are. Once it took the mutex it leaves the writer usable, its queue empty.
  void writeOutAfterCrash(int64_t deadline) noexcept;
  // Waiting for the writer's mutex on the crash path lasts at most this long.
  static constexpr int64_t kCrashLockWaitNanos = 250'000'000;

 protected:
  // Writes one batch: the messages in arrival order (emptied afterwards) and
  // the number of messages dropped since the previous batch. Empty messages
  // are flush markers and produce no output.
  virtual void writeBatch(const LogBatch& batch, size_t discarded) = 0;

  // Stops the I/O thread for good and writes what is still queued, with the
  // count of messages dropped since the last batch (also when nothing is
  // queued). Call it first in the destructor of every subclass. Calling it
  // again does nothing.
  void cleanup();

  // The crash path's forms: write `batch` without allocating memory or taking
  // locks where possible (the default is writeBatch); and, on the I/O thread
  // that crashed inside writeBatch, write what that batch still holds (the
  // default writes nothing).
  virtual void writeBatchAfterCrash(const LogBatch& batch, size_t discarded) {
    writeBatch(batch, discarded);
  }
  virtual void finishBatchAfterCrash() {}

 private:
  // Bits of flags_.
  static constexpr uint32_t kStarted = 0x01;
  static constexpr uint32_t kDestroying = 0x02;
  static constexpr uint32_t kStopRequested = 0x04;
  static constexpr uint32_t kStopped = 0x08;
  static constexpr uint32_t kJoined = 0x10;

  // Both forms of writeMessage.
  void queueMessage(std::string_view buffer, uint32_t flags);
  // The I/O thread's loop.
  static void* ioThreadEntry(void* writer) noexcept;
  void ioThreadMain();
  // Requires the mutex held: whether the calling thread is the I/O thread.
  bool onIoThread() const;
  // Requires the mutex held. Throws "thread constructor failed".
  void startIoThread();
  // Requires the mutex held by `lock`: sets `extraFlags` and stop requested,
  // waits until the I/O thread has stopped, and joins it.
  void stopIoThread(std::unique_lock<AdaptiveMutex>& lock, uint32_t extraFlags);
  LogBatch& currentQueue() { return queues_[ioCounter_ & 1]; }

  // What the I/O thread is doing, for the logging threads to decide whether
  // to signal it.
  enum class IoState : uint8_t {
    kBusy,       // running: it looks at the queue before it waits again
    kGathering,  // waiting up to the gathering time after a batch
    kAsleep,     // waiting for a message, however long it takes
  };
  // Requires the mutex held, after queueing: whether the caller must signal
  // messageReady_. A sleeping thread is always woken, a gathering one once
  // the queue holds half its limit or when `urgent` (a flush); only one caller
  // is told so per wait.
  bool takeWakeUp(bool urgent) {
    if (ioState_ == IoState::kAsleep ||
        (ioState_ == IoState::kGathering && (urgent || currentBufferSize_ >= maxBufferSize_ / 2))) {
      ioState_ = IoState::kBusy;
      return true;
    }
    return false;
  }

  // Fork callbacks.
  bool preFork();
  void postForkParent();
  void postForkChild();

  // Guarded by mutex_.
  std::array<LogBatch, 2> queues_;
  uint32_t flags_ = 0;
  uint64_t ioCounter_ = 0;  // queue swaps made by the I/O thread
  size_t maxBufferSize_ = kDefaultMaxBufferSize;
  size_t currentBufferSize_ = 0;  // bytes of text in the current queue
  size_t numDiscarded_ = 0;       // drops since the last swap
  IoState ioState_ = IoState::kBusy;
  std::chrono::microseconds gatheringTime_ = kDefaultGatheringTime;
  pthread_t ioThread_{};  // valid while started and not joined

  // For the crash path, which reads them without the mutex: the running I/O
  // thread (set by itself), and whether a writeBatch call is under way.
  std::atomic<pthread_t> ioThreadId_{};
  std::atomic<bool> inBatch_{false};

  // Taken for every message by every logging thread and for every batch by
  // the I/O thread, each time briefly: a collision spins instead of sleeping.
  mutable AdaptiveMutex mutex_;
  std::condition_variable_any messageReady_;  // wakes the I/O thread
  std::condition_variable_any ioDone_;        // each swap, and the thread's stop
  // The lock taken before a fork and released after it.
  std::unique_lock<AdaptiveMutex> heldLock_;
};

}  // namespace quorvane
