#include "common/utilities/ForkGeneration.h"

#include <pthread.h>

namespace quorvane {

namespace internal {
constinit std::atomic<uint64_t> forkGenerationCounter{1};
}  // namespace internal

namespace {

void advanceInChild() { internal::forkGenerationCounter.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

uint64_t trackForkGeneration() {
  static const bool installed = [] {
    ::pthread_atfork(nullptr, nullptr, &advanceInChild);
    return true;
  }();
  static_cast<void>(installed);
  return forkGeneration();
}

}  // namespace quorvane
