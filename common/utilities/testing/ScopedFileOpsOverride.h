#pragma once

// Test helpers around FileOps: install a fake table for one scope, and a
// scriptable fake that emulates EINTR, short writes and failures.
//
// Thread safety: ScriptedFileOps keeps its script behind a mutex, so writers on
// background threads may use it while the test thread adjusts it.

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "common/utilities/FileOps.h"

namespace quorvane::test {

// Installs `ops` for the lifetime of the object and restores the previous table.
class ScopedFileOpsOverride {
 public:
  explicit ScopedFileOpsOverride(FileOps& ops) : previous_(exchangeFileOps(&ops)) {}
  ~ScopedFileOpsOverride() { exchangeFileOps(previous_); }
  ScopedFileOpsOverride(const ScopedFileOpsOverride&) = delete;
  ScopedFileOpsOverride& operator=(const ScopedFileOpsOverride&) = delete;

 private:
  FileOps* previous_;
};

// Passes calls through to the real system, except that:
// - the next `interruptions` write/writev calls fail with EINTR;
// - every write/writev is cut to at most `maxBytesPerCall` bytes (0: no cut);
// - while `failWithErrno` is non-zero, write/writev/open fail with it;
// - while `failOpensWithErrno` is non-zero, open fails with it;
// - the next `stalls` write/writev calls write nothing and return 0;
// - while writes are held, write/writev calls wait until they are released
//   (so a test can keep a writer's thread busy at a known point);
// - with a capacity, write/writev behave like a device that fills up: they
//   write what still fits (a short write) and then fail with the given errno;
// - with a delay, every write/writev call sleeps that long first (a slow disk).
// Counters record the calls made.
class ScriptedFileOps : public FileOps {
 public:
  void interruptNext(int count) {
    std::lock_guard<std::mutex> g(mutex_);
    interruptions_ = count;
  }
  void limitBytesPerCall(size_t bytes) {
    std::lock_guard<std::mutex> g(mutex_);
    maxBytesPerCall_ = bytes;
  }
  void failWith(int err) {
    std::lock_guard<std::mutex> g(mutex_);
    failWithErrno_ = err;
  }
  void failOpensWith(int err) {
    std::lock_guard<std::mutex> g(mutex_);
    failOpensWithErrno_ = err;
  }
  // Accepts `bytes` more bytes of write/writev, then fails them with `err`
  // (ENOSPC: a full device). A negative capacity turns the limit off.
  void fillDeviceAfter(long bytes, int err = ENOSPC) {
    std::lock_guard<std::mutex> g(mutex_);
    capacity_ = bytes;
    fullErrno_ = err;
  }
  void delayEachWrite(std::chrono::microseconds delay) {
    std::lock_guard<std::mutex> g(mutex_);
    delay_ = delay;
  }
  void stallNext(int count) {
    std::lock_guard<std::mutex> g(mutex_);
    stalls_ = count;
  }
  // Makes write/writev calls wait (after being counted) until released.
  void holdWrites(bool hold) {
    std::lock_guard<std::mutex> g(mutex_);
    holding_ = hold;
    releaseAt_.reset();
    heldChanged_.notify_all();
  }
  // The same, with the hold ending by itself after `duration` (for a test
  // that cannot keep a thread around to release it, such as one that forks).
  void holdWritesFor(std::chrono::milliseconds duration) {
    std::lock_guard<std::mutex> g(mutex_);
    holding_ = true;
    releaseAt_ = std::chrono::steady_clock::now() + duration;
  }
  // Waits until `count` calls are waiting in a hold.
  void waitForHeldCalls(int count) {
    std::unique_lock<std::mutex> g(mutex_);
    heldChanged_.wait(g, [&] { return heldCalls_ >= count; });
  }
  int closeCalls() const {
    std::lock_guard<std::mutex> g(mutex_);
    return closeCalls_;
  }
  int writeCalls() const {
    std::lock_guard<std::mutex> g(mutex_);
    return writeCalls_;
  }
  int writevCalls() const {
    std::lock_guard<std::mutex> g(mutex_);
    return writevCalls_;
  }
  int maxIovecsSeen() const {
    std::lock_guard<std::mutex> g(mutex_);
    return maxIovecs_;
  }
  // The entry count of every writev call, in call order.
  std::vector<int> writevEntryCounts() const {
    std::lock_guard<std::mutex> g(mutex_);
    return writevEntryCounts_;
  }
  // The bytes each writev call was asked to write, in call order.
  std::vector<size_t> writevByteCounts() const {
    std::lock_guard<std::mutex> g(mutex_);
    return writevByteCounts_;
  }
  int openCalls() const {
    std::lock_guard<std::mutex> g(mutex_);
    return openCalls_;
  }

  ssize_t write(int fd, const void* data, size_t size) override {
    std::unique_lock<std::mutex> g(mutex_);
    ++writeCalls_;
    awaitRelease(g);
    if (int err = injectedError()) {
      errno = err;
      return -1;
    }
    if (stalled()) {
      return 0;
    }
    if (maxBytesPerCall_ != 0 && size > maxBytesPerCall_) {
      size = maxBytesPerCall_;
    }
    if (!takeCapacity(size)) {
      return -1;
    }
    sleepIfSlow(g);
    return FileOps::write(fd, data, size);
  }

  ssize_t writev(int fd, const struct iovec* iov, int iovcnt) override {
    std::unique_lock<std::mutex> g(mutex_);
    ++writevCalls_;
    if (iovcnt > maxIovecs_) {
      maxIovecs_ = iovcnt;
    }
    writevEntryCounts_.push_back(iovcnt);
    size_t requested = 0;
    for (int i = 0; i < iovcnt; ++i) {
      requested += iov[i].iov_len;
    }
    writevByteCounts_.push_back(requested);
    awaitRelease(g);
    if (int err = injectedError()) {
      errno = err;
      return -1;
    }
    if (stalled()) {
      return 0;
    }
    size_t limit = maxBytesPerCall_;
    if (capacity_ >= 0) {
      size_t total = 0;
      for (int i = 0; i < iovcnt; ++i) {
        total += iov[i].iov_len;
      }
      size_t allowed = limit != 0 && limit < total ? limit : total;
      if (!takeCapacity(allowed)) {
        return -1;
      }
      if (allowed < total) {
        limit = allowed;
      }
    }
    sleepIfSlow(g);
    if (limit == 0) {
      return FileOps::writev(fd, iov, iovcnt);
    }
    // Emulate a short gathering write: write at most `limit` bytes of the list.
    size_t written = 0;
    for (int i = 0; i < iovcnt && written < limit; ++i) {
      size_t take = iov[i].iov_len;
      if (take > limit - written) {
        take = limit - written;
      }
      ssize_t n = FileOps::write(fd, iov[i].iov_base, take);
      if (n < 0) {
        return written > 0 ? static_cast<ssize_t>(written) : -1;
      }
      written += static_cast<size_t>(n);
      if (static_cast<size_t>(n) < take) {
        break;
      }
    }
    return static_cast<ssize_t>(written);
  }

  int open(const char* path, int flags, mode_t mode) override {
    {
      std::lock_guard<std::mutex> g(mutex_);
      ++openCalls_;
      if (int err = failWithErrno_ != 0 ? failWithErrno_ : failOpensWithErrno_) {
        errno = err;
        return -1;
      }
    }
    return FileOps::open(path, flags, mode);
  }

  int close(int fd) override {
    {
      std::lock_guard<std::mutex> g(mutex_);
      ++closeCalls_;
    }
    return FileOps::close(fd);
  }

 private:
  void awaitRelease(std::unique_lock<std::mutex>& g) {
    if (!holding_) {
      return;
    }
    ++heldCalls_;
    heldChanged_.notify_all();
    if (releaseAt_) {
      heldChanged_.wait_until(g, *releaseAt_, [&] { return !holding_; });
      holding_ = false;
    } else {
      heldChanged_.wait(g, [&] { return !holding_; });
    }
    --heldCalls_;
  }

  // Called with mutex_ held.
  int injectedError() {
    if (interruptions_ > 0) {
      --interruptions_;
      return EINTR;
    }
    return failWithErrno_;
  }

  // Called with mutex_ held. Cuts `size` to what the device still holds and
  // uses that up; false (errno set) when it is full.
  bool takeCapacity(size_t& size) {
    if (capacity_ < 0) {
      return true;
    }
    if (capacity_ == 0 && size > 0) {
      errno = fullErrno_;
      return false;
    }
    if (size > static_cast<size_t>(capacity_)) {
      size = static_cast<size_t>(capacity_);
    }
    capacity_ -= static_cast<long>(size);
    return true;
  }

  // Unlocks `g`, then sleeps for the configured delay, if any.
  void sleepIfSlow(std::unique_lock<std::mutex>& g) {
    const std::chrono::microseconds delay = delay_;
    g.unlock();
    if (delay.count() > 0) {
      std::this_thread::sleep_for(delay);
    }
  }

  // Called with mutex_ held.
  bool stalled() {
    if (stalls_ > 0) {
      --stalls_;
      return true;
    }
    return false;
  }

  mutable std::mutex mutex_;
  std::condition_variable heldChanged_;
  bool holding_ = false;
  std::optional<std::chrono::steady_clock::time_point> releaseAt_;
  int heldCalls_ = 0;
  int closeCalls_ = 0;
  int interruptions_ = 0;
  size_t maxBytesPerCall_ = 0;
  int failWithErrno_ = 0;
  int failOpensWithErrno_ = 0;
  int stalls_ = 0;
  long capacity_ = -1;  // bytes the device still takes; negative: no limit
  int fullErrno_ = ENOSPC;
  std::chrono::microseconds delay_{0};
  int openCalls_ = 0;
  std::vector<int> writevEntryCounts_;
  std::vector<size_t> writevByteCounts_;
  int writeCalls_ = 0;
  int writevCalls_ = 0;
  int maxIovecs_ = 0;
};

}  // namespace quorvane::test
