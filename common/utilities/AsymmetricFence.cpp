#include "common/utilities/AsymmetricFence.h"

#if defined(__linux__)
#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace quorvane {
namespace internal {

constinit bool heavyFenceIsSystemBarrier = false;

}  // namespace internal

namespace {

#if defined(__linux__) && defined(__NR_membarrier)
long membarrier(int command) { return ::syscall(__NR_membarrier, command, 0, 0); }

// Registers the process for expedited barriers and proves that one works; only
// then may light fences stop being real fences. Runs as the image loads, before
// its static initialisers, so no code of the image has used a fence yet.
[[gnu::constructor(101)]] void chooseFences() {
  const long supported = membarrier(MEMBARRIER_CMD_QUERY);
  if (supported < 0 || (supported & MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0 ||
      (supported & MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0) {
    return;
  }
  if (membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) != 0 ||
      membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0) {
    return;
  }
  internal::heavyFenceIsSystemBarrier = true;
}
#endif

}  // namespace

void asymmetricHeavyFence() noexcept {
  // Orders this thread's own accesses whichever way the other side runs.
  internal::processorFence();
#if defined(__linux__) && defined(__NR_membarrier)
  if (internal::heavyFenceIsSystemBarrier) {
    // Cannot fail once a barrier has worked: the registration holds for the
    // life of the process and its forked children.
    membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED);
  }
#endif
}

}  // namespace quorvane
