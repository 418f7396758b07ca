#pragma once

// IntervalRateLimiter: admits at most `maxPerInterval` events per interval of
// the steady clock; the rest are refused until the next interval starts.
//
// Thread safety: check() may be called from any thread (lock-free).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>

namespace quorvane {

class IntervalRateLimiter {
 public:
  using Clock = std::chrono::steady_clock;

  IntervalRateLimiter(uint64_t maxPerInterval, std::chrono::nanoseconds interval)
      : maxPerInterval_(maxPerInterval), interval_(interval.count()) {}

  // True when the event may pass.
  bool check() {
    const int64_t now = Clock::now().time_since_epoch().count();
    int64_t start = intervalStart_.load(std::memory_order_relaxed);
    if (now - start >= interval_.load(std::memory_order_relaxed)) {
      if (intervalStart_.compare_exchange_strong(start, now, std::memory_order_relaxed)) {
        count_.store(0, std::memory_order_relaxed);
      }
    }
    return count_.fetch_add(1, std::memory_order_relaxed) <
           maxPerInterval_.load(std::memory_order_relaxed);
  }

  void reset(uint64_t maxPerInterval, std::chrono::nanoseconds interval) {
    maxPerInterval_.store(maxPerInterval, std::memory_order_relaxed);
    interval_.store(interval.count(), std::memory_order_relaxed);
    count_.store(0, std::memory_order_relaxed);
  }

 private:
  std::atomic<uint64_t> maxPerInterval_;
  std::atomic<int64_t> interval_;
  std::atomic<int64_t> intervalStart_{std::numeric_limits<int64_t>::min() / 2};
  std::atomic<uint64_t> count_{0};
};

}  // namespace quorvane
