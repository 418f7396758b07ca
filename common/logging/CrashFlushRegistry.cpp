#include "common/logging/CrashFlushRegistry.h"

#include <time.h>

namespace quorvane {

std::atomic<AsyncLogWriter*> CrashFlushRegistry::slots_[kSlots];
std::atomic<bool> CrashFlushRegistry::visiting_{false};

void CrashFlushRegistry::add(AsyncLogWriter* writer) noexcept {
  for (std::atomic<AsyncLogWriter*>& slot : slots_) {
    AsyncLogWriter* empty = nullptr;
    if (slot.compare_exchange_strong(empty, writer)) {
      return;
    }
  }
}

void CrashFlushRegistry::remove(AsyncLogWriter* writer) noexcept {
  for (std::atomic<AsyncLogWriter*>& slot : slots_) {
    AsyncLogWriter* expected = writer;
    if (slot.compare_exchange_strong(expected, nullptr)) {
      break;
    }
  }
  // Sequentially consistent with beginVisit: a visit that can still reach
  // the writer has set visiting_ before it read the slot, and so is seen here.
  const struct timespec pause = {0, 1'000'000};
  while (visiting_.load()) {
    ::nanosleep(&pause, nullptr);
  }
}

void CrashFlushRegistry::beginVisit() noexcept { visiting_.store(true); }

void CrashFlushRegistry::endVisit() noexcept { visiting_.store(false); }

}  // namespace quorvane
