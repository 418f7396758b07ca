#pragma once

// FastSystemClock: the system (wall-clock) time, as std::chrono::system_clock
// tells it, read from the processor's counter in a few nanoseconds instead of
// a clock call's tens (the timestamp of every log message).
//
// The time is an anchor, a pair of a counter value and the system time taken
// together, plus the counter ticks since the anchor at a calibrated rate. The
// anchor is taken again whenever it is older than a millisecond of ticks, by
// whichever thread finds it so (one at a time; the others read the system
// clock meanwhile), so the time stays within about a hundred nanoseconds of
// the system clock's, and follows a clock that is set within a millisecond.
// The rate is measured against the monotonic clock over the first ten
// milliseconds of use, then again each second. Until it is known, while
// pairings keep failing (a machine too loaded to read the counter and the
// clock close together), and wherever the counter cannot be trusted, now()
// is the system clock's time.
//
// The counter: on Linux on x86-64 the time-stamp counter, used only when the
// kernel's own clock source is that counter (so it runs at a constant rate
// and agrees between processors); on macOS the continuous time of the mach
// clock (it keeps counting while the machine sleeps). A counter that stops
// while the machine sleeps and resumes where it stopped can stamp the first
// millisecond of messages after waking with the time of falling asleep;
// a counter that jumps or goes back is noticed at once and re-anchored.
//
// Times do not jump where the system clock does not: an anchor is kept only
// when the counter reads around its clock call lie close together (an
// interrupted pairing is taken again), and a new anchor within 20 µs of where
// the previous one would have put the time takes over from it without a jump,
// running its first millisecond that much faster or slower.
//
// Fork: a child goes on with the parent's anchor and rate (the counter is the
// machine's); one forked while another thread was taking an anchor starts
// afresh.
//
// Thread safety: now() may be called from any thread, concurrently; it takes
// no lock and never waits.

#include <atomic>
#include <chrono>
#include <cstdint>

#if defined(__APPLE__)
#include <mach/mach_time.h>
#endif

namespace quorvane {

namespace internal {

// The anchor, behind a sequence number that is odd while it changes. Only the
// thread that made the number odd writes the other fields, with release
// stores.
struct alignas(64) FastSystemClockAnchor {
  std::atomic<uint64_t> sequence{0};
  std::atomic<uint64_t> ticks{0};         // counter at the anchor
  std::atomic<int64_t> nanos{0};          // system time at the anchor, since the epoch
  std::atomic<uint64_t> nanosPerTick{0};  // 32.32 fixed point
  std::atomic<uint64_t> windowTicks{0};   // the anchor is used this long; 0: not at all
};
extern constinit FastSystemClockAnchor fastSystemClockAnchor;

inline uint64_t readCounter() noexcept {
#if defined(__x86_64__) && defined(__linux__)
  return __builtin_ia32_rdtsc();
#elif defined(__APPLE__)
  return mach_continuous_time();
#else
  return 0;
#endif
}

// The system-clock time point `nanos` nanoseconds after the epoch.
inline std::chrono::system_clock::time_point timePointFromNanos(int64_t nanos) noexcept {
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::nanoseconds(nanos)));
}

// Takes a new anchor if no other thread is taking one; answers the system time.
std::chrono::system_clock::time_point refreshFastSystemClock() noexcept;

}  // namespace internal

class FastSystemClock {
 public:
  using time_point = std::chrono::system_clock::time_point;

  static time_point now() noexcept {
    auto& anchor = internal::fastSystemClockAnchor;
    const uint64_t sequence = anchor.sequence.load(std::memory_order_acquire);
    // No anchor (the counter is not trusted, the rate not yet known, or the
    // last pairing failed): the counter is not read at all.
    // The fields are read with acquire loads (plain loads on x86-64): a field
    // written during a change makes the second look at the number see the
    // change.
    const uint64_t window = anchor.windowTicks.load(std::memory_order_acquire);
    if (window != 0) [[likely]] {
      const uint64_t ticks = internal::readCounter();
      const uint64_t anchorTicks = anchor.ticks.load(std::memory_order_acquire);
      const int64_t anchorNanos = anchor.nanos.load(std::memory_order_acquire);
      const uint64_t nanosPerTick = anchor.nanosPerTick.load(std::memory_order_acquire);
      // Wraps to a huge value when the counter is behind the anchor.
      const uint64_t elapsed = ticks - anchorTicks;
      if (elapsed < window && anchor.sequence.load(std::memory_order_relaxed) == sequence &&
          (sequence & 1) == 0) [[likely]] {
        const auto sinceAnchor =
            static_cast<int64_t>((static_cast<unsigned __int128>(elapsed) * nanosPerTick) >> 32);
        return internal::timePointFromNanos(anchorNanos + sinceAnchor);
      }
    }
    return internal::refreshFastSystemClock();
  }

  // Whether the counter is in use (false: now() is the system clock's).
  static bool usesCounter() noexcept;
};

}  // namespace quorvane
