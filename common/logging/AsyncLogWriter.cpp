#include "common/logging/AsyncLogWriter.h"

#include <time.h>

#include <algorithm>
#include <exception>
#include <new>
#include <string_view>
#include <system_error>
#include <utility>

#include "common/logging/CrashFlushRegistry.h"
#include "common/logging/LoggerDB.h"
#include "common/utilities/ForkHandlerRegistry.h"
#include "platform/pthread/ThreadNameShim.h"

namespace quorvane {
namespace {

// Where a subclass that did not call cleanup() is reported, wherever the
// source tree lives.
constexpr std::string_view kWarningSource = "logging/AsyncLogWriter";
constexpr int kWarningLine = 52;

int64_t monotonicNanos() noexcept {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// Calls `done` until it answers true or `deadline` passes; async-signal-safe.
template <typename Done>
bool waitUntil(int64_t deadline, Done done) noexcept {
  const struct timespec pause = {0, 100'000};
  while (!done()) {
    if (monotonicNanos() >= deadline) {
      return false;
    }
    ::nanosleep(&pause, nullptr);
  }
  return true;
}

}  // namespace

AsyncLogWriter::AsyncLogWriter() {
  ForkHandlerRegistry::registerForkHandlers(
      this, [this] { return preFork(); }, [this] { postForkParent(); },
      [this] { postForkChild(); });

  std::exception_ptr failure;
  {
    std::lock_guard<AdaptiveMutex> lock(mutex_);
    flags_ |= kStarted;
    try {
      startIoThread();
    } catch (...) {
      // Without this, a fork arriving before the entry is removed would wait
      // for a thread that does not exist.
      flags_ &= ~kStarted;
      failure = std::current_exception();
    }
  }
  if (failure) {
    // The object never comes into existence, so its fork callbacks must go.
    ForkHandlerRegistry::unregisterForkHandlers(this);
    std::rethrow_exception(failure);
  }
  CrashFlushRegistry::add(this);
}

AsyncLogWriter::~AsyncLogWriter() {
  {
    std::unique_lock<AdaptiveMutex> lock(mutex_);
    if ((flags_ & kDestroying) == 0) {
      LoggerDB::internalWarning(kWarningSource, kWarningLine,
                                "cleanup() is not called before destroying");
      stopIoThread(lock, kDestroying);
    }
  }
  CrashFlushRegistry::remove(this);
  ForkHandlerRegistry::unregisterForkHandlers(this);
}

void AsyncLogWriter::writeMessage(std::string_view buffer, uint32_t flags) {
  queueMessage(buffer, flags);
}

void AsyncLogWriter::writeMessage(std::string&& buffer, uint32_t flags) {
  queueMessage(buffer, flags);
}

void AsyncLogWriter::queueMessage(std::string_view buffer, uint32_t flags) {
  bool wake = false;
  {
    std::lock_guard<AdaptiveMutex> lock(mutex_);
    if ((flags & NEVER_DISCARD) == 0 && currentBufferSize_ >= maxBufferSize_) {
      ++numDiscarded_;
      return;
    }
    currentBufferSize_ += buffer.size();
    currentQueue().append(buffer);
    wake = takeWakeUp(false);
  }
  // After unlocking, so the I/O thread does not wake into a held mutex.
  if (wake) {
    messageReady_.notify_one();
  }
}

void AsyncLogWriter::flush() {
  std::unique_lock<AdaptiveMutex> lock(mutex_);
  if (onIoThread()) {
    // Called from writeBatch: the swaps it would wait for are this thread's.
    return;
  }
  const uint64_t start = ioCounter_;
  // The first swap may have taken a queue filled before our marker went in;
  // after the second, everything queued before this call has been written.
  while (ioCounter_ < start + 2) {
    if ((flags_ & kDestroying) != 0) {
      // The thread is stopping for good; cleanup writes what is left.
      return;
    }
    currentQueue().append({});
    if (takeWakeUp(true)) {
      messageReady_.notify_one();
    }
    ioDone_.wait(lock);
  }
}

void AsyncLogWriter::setMaxBufferSize(size_t size) {
  std::lock_guard<AdaptiveMutex> lock(mutex_);
  maxBufferSize_ = size;
}

void AsyncLogWriter::setGatheringTime(std::chrono::microseconds time) {
  std::lock_guard<AdaptiveMutex> lock(mutex_);
  gatheringTime_ = time;
}

size_t AsyncLogWriter::maxBufferSize() const {
  std::lock_guard<AdaptiveMutex> lock(mutex_);
  return maxBufferSize_;
}

void AsyncLogWriter::cleanup() {
  LogBatch remaining;
  size_t discarded = 0;
  {
    std::unique_lock<AdaptiveMutex> lock(mutex_);
    stopIoThread(lock, kDestroying);
    std::swap(remaining, currentQueue());
    discarded = std::exchange(numDiscarded_, 0);
    currentBufferSize_ = 0;
    inBatch_.store(true, std::memory_order_relaxed);
  }
  // A count without messages is still reported: the messages were dropped
  // all the same (a limit of 0 drops every one while the queue stays empty).
  if (!remaining.empty() || discarded > 0) {
    writeBatch(remaining, discarded);
  }
  inBatch_.store(false, std::memory_order_release);
  // From here on a crash has nothing of this writer's to write.
  CrashFlushRegistry::remove(this);
}

void AsyncLogWriter::writeOutAfterCrash(int64_t deadline) noexcept {
  const bool onIoThread = ::pthread_equal(ioThreadId_.load(std::memory_order_relaxed),
                                          ::pthread_self()) != 0;
  // Not acquired in time: the crashing thread holds it, or a thread that
  // does not let go; the queue is then read as it stands.
  const bool locked = waitUntil(std::min(deadline, monotonicNanos() + kCrashLockWaitNanos),
                                [this] { return mutex_.try_lock(); });
  if (onIoThread) {
    if (inBatch_.load(std::memory_order_acquire)) {
      finishBatchAfterCrash();
    }
  } else if (!waitUntil(deadline,
                        [this] { return !inBatch_.load(std::memory_order_acquire); })) {
    // The I/O thread is stuck in a write; writing beside it would mix lines.
    if (locked) {
      mutex_.unlock();
    }
    return;
  }
  LogBatch& queue = currentQueue();
  if (queue.byteSize() > 0 || numDiscarded_ > 0) {
    writeBatchAfterCrash(queue, numDiscarded_);
  }
  if (locked) {
    queue.clear();
    currentBufferSize_ = 0;
    numDiscarded_ = 0;
    mutex_.unlock();
  }
}

void AsyncLogWriter::startIoThread() {
  pthread_attr_t attributes;
  int rc = ::pthread_attr_init(&attributes);
  if (rc == 0) {
    rc = ::pthread_attr_setstacksize(&attributes, kIoThreadStackSize);
    if (rc == 0) {
      rc = ::pthread_create(&ioThread_, &attributes, &AsyncLogWriter::ioThreadEntry, this);
    }
    ::pthread_attr_destroy(&attributes);
  }
  if (rc != 0) {
    throw std::system_error(rc, std::generic_category(), "thread constructor failed");
  }
}

bool AsyncLogWriter::onIoThread() const {
  return (flags_ & kStarted) != 0 && (flags_ & kJoined) == 0 &&
         ::pthread_equal(ioThread_, ::pthread_self()) != 0;
}

void AsyncLogWriter::stopIoThread(std::unique_lock<AdaptiveMutex>& lock, uint32_t extraFlags) {
  flags_ |= extraFlags | kStopRequested;
  ioState_ = IoState::kBusy;
  messageReady_.notify_one();
  ioDone_.wait(lock, [this] { return (flags_ & kStopped) != 0; });
  if ((flags_ & kJoined) != 0) {
    return;
  }
  // The thread no longer touches the mutex; it only has to exit.
  ::pthread_join(ioThread_, nullptr);
  flags_ |= kJoined;
}

void* AsyncLogWriter::ioThreadEntry(void* writer) noexcept {
  static_cast<AsyncLogWriter*>(writer)->ioThreadMain();
  return nullptr;
}

void AsyncLogWriter::ioThreadMain() {
  platform::setCurrentThreadName("log_writer");
  ioThreadId_.store(::pthread_self(), std::memory_order_relaxed);
  std::unique_lock<AdaptiveMutex> lock(mutex_);
  bool wroteBatch = false;
  while (true) {
    // Only this thread changes ioCounter_, so the current queue stays put.
    LogBatch& batch = currentQueue();
    if (wroteBatch && batch.empty() && gatheringTime_.count() > 0 &&
        (flags_ & kStopRequested) == 0) {
      // Gather what comes in the next moments into one batch; a logging thread
      // ends the wait early only when the queue fills up or on a flush.
      ioState_ = IoState::kGathering;
      const auto deadline = std::chrono::steady_clock::now() + gatheringTime_;
      while (ioState_ == IoState::kGathering && (flags_ & kStopRequested) == 0) {
        if (messageReady_.wait_until(lock, deadline) == std::cv_status::timeout) {
          break;
        }
      }
      ioState_ = IoState::kBusy;
    }
    while (batch.empty() && (flags_ & kStopRequested) == 0) {
      // Whoever queues the next message sees this and wakes the thread.
      ioState_ = IoState::kAsleep;
      messageReady_.wait(lock);
    }
    ioState_ = IoState::kBusy;
    if ((flags_ & kStopRequested) != 0) {
      // Whatever is still queued stays for the restarted thread or cleanup().
      flags_ |= kStopped;
      lock.unlock();
      ioDone_.notify_all();
      return;
    }
    ++ioCounter_;  // new messages now go to the other queue
    const size_t discarded = std::exchange(numDiscarded_, 0);
    currentBufferSize_ = 0;
    // A queue keeps its storage up to a few times the limit (it overshoots by
    // one message, and NEVER_DISCARD messages are not limited at all).
    const size_t keptBytes =
        maxBufferSize_ > kMaxKeptQueueBytes / 4 ? kMaxKeptQueueBytes : 4 * maxBufferSize_;
    inBatch_.store(true, std::memory_order_relaxed);
    lock.unlock();
    ioDone_.notify_all();

    writeBatch(batch, discarded);
    batch.clearAndTrim(keptBytes);  // keeps the storage for the next time
    inBatch_.store(false, std::memory_order_release);
    wroteBatch = true;

    lock.lock();
  }
}

bool AsyncLogWriter::preFork() {
  heldLock_ = std::unique_lock<AdaptiveMutex>(mutex_);
  if ((flags_ & kStarted) != 0) {
    stopIoThread(heldLock_, 0);
  }
  return true;
}

void AsyncLogWriter::postForkParent() {
  ioState_ = IoState::kBusy;
  if ((flags_ & kStarted) != 0 && (flags_ & kDestroying) == 0) {
    flags_ &= ~(kStopRequested | kStopped | kJoined);
    startIoThread();
  }
  heldLock_.unlock();
}

void AsyncLogWriter::postForkChild() {
  // Messages pending in the parent are written by the parent only.
  queues_[0].clear();
  queues_[1].clear();
  // They no longer count against the limit, and their drops are the parent's
  // to report; otherwise a queue that was full at the fork would make the child
  // drop every message it logs.
  currentBufferSize_ = 0;
  numDiscarded_ = 0;
  // Threads of the parent that were inside a wait or notify on these condition
  // variables do not exist here, yet the variables' state still counts them,
  // which can block the child's first wait or notify. Start both afresh; the
  // old state is abandoned, not destroyed, as destroying a condition variable
  // with waiters can block too.
  new (&messageReady_) std::condition_variable_any();
  new (&ioDone_) std::condition_variable_any();
  postForkParent();
}

}  // namespace quorvane
