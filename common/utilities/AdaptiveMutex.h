#pragma once

// AdaptiveMutex: a mutex for short critical sections that threads enter at a
// high rate (the queue of an asynchronous log writer, shared by the logging
// threads and the writer's own thread).
//
// A thread that finds it held spins for a while with the processor's pause
// hint, since the holder is about to let go, and only then sleeps; unlock
// wakes a sleeper only when one exists. A brief collision therefore costs
// neither thread a system call, where a plain mutex puts the late thread to
// sleep at once and makes the holder's unlock wake it (a pair of system calls,
// and the tail of a logging call's cost).
//
// Meets the Lockable requirements (lock, try_lock, unlock): use it with
// std::unique_lock and wait on it with std::condition_variable_any. Not
// recursive; unlocking a mutex the caller does not hold is undefined, except
// in a forked child, where the thread that locked it before the fork may
// unlock it.
//
// Thread safety: any thread.

#include <atomic>
#include <cstdint>

namespace quorvane {

class AdaptiveMutex {
 public:
  // Checks made with the pause hint before a waiting thread goes to sleep.
  static constexpr int kSpinsBeforeSleep = 128;

  AdaptiveMutex() = default;
  AdaptiveMutex(const AdaptiveMutex&) = delete;
  AdaptiveMutex& operator=(const AdaptiveMutex&) = delete;

  void lock() {
    if (!try_lock()) [[unlikely]] {
      lockContended();
    }
  }
  bool try_lock() {
    uint32_t expected = kUnlocked;
    return state_.compare_exchange_strong(expected, kLocked, std::memory_order_acquire,
                                          std::memory_order_relaxed);
  }
  void unlock() {
    if (state_.exchange(kUnlocked, std::memory_order_release) == kLockedWithSleepers) [[unlikely]] {
      state_.notify_one();
    }
  }

 private:
  static constexpr uint32_t kUnlocked = 0;
  static constexpr uint32_t kLocked = 1;
  // Locked, and a thread may be asleep waiting for it.
  static constexpr uint32_t kLockedWithSleepers = 2;

  void lockContended();

  std::atomic<uint32_t> state_{kUnlocked};
};

}  // namespace quorvane
