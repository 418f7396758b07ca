#pragma once

// spinThenYieldUntil(done): waits for a condition that another thread is about
// to make true (a producer between claiming a place and filling it). Checks
// `done` with the processor's pause hint between checks for a short while,
// then gives the processor away between checks, so a waiter never burns a
// core that the thread it waits for may need.
//
// Internal to the utilities; thread safety is that of `done`.

#include <thread>

namespace quorvane::internal {

// Checks made with the pause hint before the waiter starts yielding.
inline constexpr int kSpinsBeforeYield = 128;

// Tells the processor that the caller is in a spin loop.
inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

template <typename Done>
void spinThenYieldUntil(Done&& done) {
  for (int spins = 0; !done(); ++spins) {
    if (spins < kSpinsBeforeYield) {
      cpuRelax();
    } else {
      std::this_thread::yield();
    }
  }
}

}  // namespace quorvane::internal
