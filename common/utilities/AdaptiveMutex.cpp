#include "common/utilities/AdaptiveMutex.h"

#include "common/utilities/internal/SpinWait.h"

namespace quorvane {

void AdaptiveMutex::lockContended() {
  for (int spin = 0; spin < kSpinsBeforeSleep; ++spin) {
    internal::cpuRelax();
    if (state_.load(std::memory_order_relaxed) == kUnlocked && try_lock()) {
      return;
    }
  }
  // From here on the lock is taken as "locked with sleepers", so the unlock
  // that follows wakes the next sleeper, if any (at worst one wake-up too
  // many).
  while (state_.exchange(kLockedWithSleepers, std::memory_order_acquire) != kUnlocked) {
    state_.wait(kLockedWithSleepers, std::memory_order_relaxed);
  }
}

}  // namespace quorvane
