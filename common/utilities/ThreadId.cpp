#include "common/utilities/ThreadId.h"

#include <pthread.h>

#include "common/utilities/ForkGeneration.h"
#include "platform/pthread/ThreadIdShim.h"

namespace quorvane {
namespace {

struct ThreadIdCache {
  uint64_t generation = 0;
  uint64_t id = 0;
};
// Filled again in a forked child: the forking thread has a new id there.
thread_local ThreadIdCache threadIdCache;

}  // namespace

uint64_t getOSThreadID() {
  auto& cache = threadIdCache;
  if (cache.generation != forkGeneration()) [[unlikely]] {
    cache.generation = trackForkGeneration();
    pthread_threadid_np(pthread_t{}, &cache.id);
  }
  return cache.id;
}

}  // namespace quorvane
