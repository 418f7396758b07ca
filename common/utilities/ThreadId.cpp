#include "common/utilities/ThreadId.h"

#include <pthread.h>

#include <atomic>

#include "platform/pthread/ThreadIdShim.h"

namespace quorvane {
namespace {

// Bumped in every forked child, so per-thread caches filled before the fork are
// recognised as stale (the forking thread has a new id in the child).
std::atomic<uint64_t> forkGeneration{1};

void onForkChild() { forkGeneration.fetch_add(1, std::memory_order_relaxed); }

struct ThreadIdCache {
  uint64_t generation = 0;
  uint64_t id = 0;
};
thread_local ThreadIdCache threadIdCache;

uint64_t readThreadId() {
  static const bool registered = [] {
    pthread_atfork(nullptr, nullptr, &onForkChild);
    return true;
  }();
  (void)registered;
  uint64_t id = 0;
  pthread_threadid_np(pthread_t{}, &id);
  return id;
}

}  // namespace

uint64_t getOSThreadID() {
  auto& cache = threadIdCache;
  const uint64_t generation = forkGeneration.load(std::memory_order_relaxed);
  if (cache.generation != generation) {
    cache.id = readThreadId();
    cache.generation = generation;
  }
  return cache.id;
}

}  // namespace quorvane
