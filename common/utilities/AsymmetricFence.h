#pragma once

// Asymmetric fences: a pair of memory fences for a handshake in which one side
// runs all the time (a logging thread announcing the handler list it reads,
// and letting go of it) and the other rarely (a configuration change retiring
// a list that readers may still hold).
//
// Each side stores, fences, then loads what the other side stores:
//
//   frequent side:  x.store(...); asymmetricLightFence(); y.load(...)
//   rare side:      y.store(...); asymmetricHeavyFence(); x.load(...)
//
// and, as with two sequentially consistent fences, at least one of the loads
// sees the other side's store. Where the operating system can make every other
// thread of the process execute a full barrier on request (Linux's
// membarrier with private expedited commands, registered when the image
// loads), the light fence only keeps the compiler from moving memory accesses
// across it, and the heavy fence is that request: a system call whose cost
// (some microseconds) grows with the processors running the process. Where
// it cannot (macOS, older kernels, valgrind), both are full fences. The choice
// is made once, before any code of the image runs, and kept: a forked child
// inherits the registration.
//
// Thread safety: both functions may be called from any thread at any time,
// also from signal handlers.

#include <atomic>

namespace quorvane {

namespace internal {
// True when the heavy fence is the operating system's barrier request. Set
// before static initialisation and never changed.
extern constinit bool heavyFenceIsSystemBarrier;

// A full fence of the processor. ThreadSanitizer models no fence (and GCC
// warns at each one under it); it relies on the release and acquire
// operations around them instead, so there the fence is the instruction.
inline void processorFence() noexcept {
#if defined(__SANITIZE_THREAD__) && defined(__x86_64__)
  asm volatile("mfence" ::: "memory");
#elif defined(__SANITIZE_THREAD__) && defined(__aarch64__)
  asm volatile("dmb ish" ::: "memory");
#else
  std::atomic_thread_fence(std::memory_order_seq_cst);
#endif
}

}  // namespace internal

// The frequent side's fence.
inline void asymmetricLightFence() noexcept {
  if (internal::heavyFenceIsSystemBarrier) [[likely]] {
    std::atomic_signal_fence(std::memory_order_seq_cst);
  } else {
    internal::processorFence();
  }
}

// The rare side's fence.
void asymmetricHeavyFence() noexcept;

}  // namespace quorvane
