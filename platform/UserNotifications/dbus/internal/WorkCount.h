#pragma once

// WorkCount: how much work of the D-Bus backend is outstanding (requests
// queued for the bus thread, calls waiting for the server's answer), so that
// waitUntilIdle can wait for all of it.
//
// Thread safety: every method may be called from any thread, concurrently.

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace quorvane::platform::notifications::internal {

class WorkCount {
 public:
  void begin() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++outstanding_;
  }

  void end(std::size_t count = 1) {
    std::lock_guard<std::mutex> lock(mutex_);
    outstanding_ -= count;
    if (outstanding_ == 0) {
      none_.notify_all();
    }
  }

  bool none() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return outstanding_ == 0;
  }

  void waitUntilNone() {
    std::unique_lock<std::mutex> lock(mutex_);
    none_.wait(lock, [this] { return outstanding_ == 0; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable none_;
  std::size_t outstanding_ = 0;
};

}  // namespace quorvane::platform::notifications::internal
