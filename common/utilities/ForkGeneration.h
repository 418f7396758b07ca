#pragma once

// Fork generations: a number that changes in every forked child.
//
// Per-thread caches whose contents must not live on in a forked child (the
// forking thread's id, its random sequence) record the generation they were
// filled in and fill themselves again when forkGeneration() differs. Call
// trackForkGeneration() when filling such a cache: the first call installs the
// pthread_atfork child hook that advances the generation, so a cache filled
// before any fork is seen as stale after one.
//
// Thread safety: both functions may be called from any thread.
// forkGeneration() is one relaxed load, inlined into the caller.

#include <atomic>
#include <cstdint>

namespace quorvane {

namespace internal {
// Starts at 1, so a cache whose generation is 0 is always stale.
extern std::atomic<uint64_t> forkGenerationCounter;
}  // namespace internal

inline uint64_t forkGeneration() {
  return internal::forkGenerationCounter.load(std::memory_order_relaxed);
}

// Installs the child hook on the first call; returns forkGeneration().
uint64_t trackForkGeneration();

}  // namespace quorvane
