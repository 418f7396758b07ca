#include "common/utilities/FastSystemClock.h"

#include <fcntl.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace quorvane {
namespace internal {

constinit FastSystemClockAnchor fastSystemClockAnchor;

}  // namespace internal

namespace {

using internal::fastSystemClockAnchor;
using internal::readCounter;

// How long an anchor is used before the next is taken.
constexpr int64_t kWindowNanos = 1'000'000;
// The rate is first measured over this long, then over each such period.
constexpr int64_t kFirstCalibrationNanos = 10'000'000;
constexpr int64_t kCalibrationNanos = 1'000'000'000;
// Counter reads around a clock call are accepted as a pair at most this far
// apart (once the rate is known; before, the narrowest of a few is taken).
constexpr int64_t kMaxPairNanos = 100;
constexpr int kPairAttempts = 3;
// A new anchor this close to where the previous one would have put it takes
// over without a jump: its first window runs a little faster or slower, so
// that it meets the system time at the window's end.
constexpr int64_t kMaxSlewNanos = 20'000;
// A recalibration that disagrees with the rate known by more than this
// (1/1024) spanned a jump of the counter or the clock: it is not used, unless
// the next one agrees with it (the counter's rate itself changed, as after
// a virtual machine moved to another host).
constexpr int kRateToleranceShift = 10;

// One counter value paired with a clock's reading.
struct Pair {
  uint64_t ticks;
  int64_t nanos;
};

// The calibration, touched only by the thread holding the anchor's odd
// sequence number.
struct Calibration {
  bool haveBase = false;
  Pair base{};                // a pair with the monotonic clock
  uint64_t nanosPerTick = 0;  // 32.32 fixed point; 0 until measured
  uint64_t refusedRate = 0;   // the last recalibration not used
};

Calibration calibration;
// While there is no anchor: the system time before which nobody tries again.
std::atomic<int64_t> nextTryNanos{0};

// Whether two measured rates agree within the tolerance.
bool agree(uint64_t rate, uint64_t other) {
  const uint64_t tolerance = rate >> kRateToleranceShift;
  return other + tolerance >= rate && other <= rate + tolerance;
}

int64_t clockNanos(clockid_t clock) {
  struct timespec now;
  ::clock_gettime(clock, &now);
  return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

uint64_t ticksFor(int64_t nanos, uint64_t nanosPerTick) {
  return static_cast<uint64_t>((static_cast<unsigned __int128>(nanos) << 32) / nanosPerTick);
}

int64_t nanosFor(uint64_t ticks, uint64_t nanosPerTick) {
  return static_cast<int64_t>((static_cast<unsigned __int128>(ticks) * nanosPerTick) >> 32);
}

// Reads `clock` between two counter reads; the pair is the middle of the two.
// With the rate known, a pairing whose reads lie too far apart (the thread was
// interrupted) is taken again and, failing that, refused; without it, the
// narrowest of a few is kept.
bool takePair(clockid_t clock, Pair& pair) {
  const uint64_t rate = calibration.nanosPerTick;
  const uint64_t maxWidth =
      rate != 0 ? ticksFor(kMaxPairNanos, rate) : std::numeric_limits<uint64_t>::max();
  uint64_t bestWidth = std::numeric_limits<uint64_t>::max();
  for (int attempt = 0; attempt < kPairAttempts; ++attempt) {
    const uint64_t before = readCounter();
    const int64_t nanos = clockNanos(clock);
    const uint64_t after = readCounter();
    if (after < before) {
      continue;
    }
    const uint64_t width = after - before;
    if (width < bestWidth) {
      bestWidth = width;
      pair = Pair{before + width / 2, nanos};
    }
    if (rate != 0 && width <= maxWidth) {
      return true;
    }
  }
  return rate == 0 && bestWidth != std::numeric_limits<uint64_t>::max();
}

// Measures the rate when it is due: over the first ten milliseconds from the
// first call, then each second. Answers how long to wait before the next try
// while the rate is still unknown (0 once it is known).
int64_t calibrate() {
  Calibration& c = calibration;
  if (c.haveBase && c.nanosPerTick != 0) {
    const uint64_t ticks = readCounter();
    if (ticks >= c.base.ticks &&
        nanosFor(ticks - c.base.ticks, c.nanosPerTick) < kCalibrationNanos) {
      return 0;
    }
  }
  Pair now{};
  if (!takePair(CLOCK_MONOTONIC, now)) {
    return c.nanosPerTick == 0 ? kWindowNanos : 0;
  }
  if (!c.haveBase || now.ticks <= c.base.ticks || now.nanos <= c.base.nanos) {
    c.base = now;  // the first pairing, or the counter went back
    c.haveBase = true;
    return c.nanosPerTick == 0 ? kFirstCalibrationNanos : 0;
  }
  const int64_t spanNanos = now.nanos - c.base.nanos;
  if (spanNanos < kFirstCalibrationNanos) {
    return kFirstCalibrationNanos - spanNanos;
  }
  const auto measured = static_cast<uint64_t>((static_cast<unsigned __int128>(spanNanos) << 32) /
                                              (now.ticks - c.base.ticks));
  if (c.nanosPerTick == 0 || agree(c.nanosPerTick, measured) || agree(c.refusedRate, measured)) {
    c.nanosPerTick = measured;
    c.refusedRate = 0;
  } else {
    c.refusedRate = measured;
  }
  c.base = now;
  return 0;
}

// The counter is trusted where the kernel keeps time with it.
bool readCounterTrusted() {
#if defined(__x86_64__) && defined(__linux__)
  const int fd = ::open("/sys/devices/system/clocksource/clocksource0/current_clocksource",
                        O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  char text[16] = {};
  const ssize_t got = ::read(fd, text, sizeof(text) - 1);
  ::close(fd);
  return got >= 3 && std::strncmp(text, "tsc", 3) == 0 && (got == 3 || text[3] == '\n');
#elif defined(__APPLE__)
  return true;
#else
  return false;
#endif
}

// A child forked while another thread held the odd number has no such thread:
// the number is made even again and the half-made anchor and calibration are
// dropped.
void resetInForkedChild() {
  auto& anchor = fastSystemClockAnchor;
  const uint64_t sequence = anchor.sequence.load(std::memory_order_relaxed);
  if ((sequence & 1) == 0) {
    return;
  }
  calibration = Calibration{};
  nextTryNanos.store(0, std::memory_order_relaxed);
  anchor.windowTicks.store(0, std::memory_order_release);
  anchor.sequence.store(sequence + 1, std::memory_order_release);
}

bool counterTrusted() {
  static const bool trusted = [] {
    if (!readCounterTrusted()) {
      return false;
    }
    return ::pthread_atfork(nullptr, nullptr, &resetInForkedChild) == 0;
  }();
  return trusted;
}

// The new anchor at `pair` (the system time): continuing the previous one when
// it is close, else at the system time. Answers the time at the anchor.
int64_t publishAnchor(const Pair& pair) {
  auto& anchor = fastSystemClockAnchor;
  const uint64_t rate = calibration.nanosPerTick;
  const uint64_t window = ticksFor(kWindowNanos, rate);
  int64_t nanos = pair.nanos;
  uint64_t anchorRate = rate;
  const uint64_t previousTicks = anchor.ticks.load(std::memory_order_relaxed);
  const uint64_t previousWindow = anchor.windowTicks.load(std::memory_order_relaxed);
  if (previousWindow != 0 && pair.ticks >= previousTicks &&
      pair.ticks - previousTicks < 2 * previousWindow) {
    const int64_t previous =
        anchor.nanos.load(std::memory_order_relaxed) +
        nanosFor(pair.ticks - previousTicks, anchor.nanosPerTick.load(std::memory_order_relaxed));
    const int64_t behind = pair.nanos - previous;
    if (std::llabs(behind) <= kMaxSlewNanos) {
      nanos = previous;
      const auto correction = static_cast<int64_t>(
          (static_cast<__int128>(behind) * (int64_t{1} << 32)) / static_cast<int64_t>(window));
      anchorRate = static_cast<uint64_t>(static_cast<int64_t>(rate) + correction);
    }
  }
  anchor.ticks.store(pair.ticks, std::memory_order_release);
  anchor.nanos.store(nanos, std::memory_order_release);
  anchor.nanosPerTick.store(anchorRate, std::memory_order_release);
  anchor.windowTicks.store(window, std::memory_order_release);
  return nanos;
}

// Holding the odd number: a new anchor, or none while the rate is unknown or
// the pairing fails. Answers the time at the new anchor, or `now` (the system
// time just read) without one, and in `wait` how long readers use the system
// clock before the next try (0 with a new anchor).
int64_t renewAnchor(int64_t now, int64_t& wait) {
  wait = calibrate();
  Pair pair{};
  if (wait != 0 || !takePair(CLOCK_REALTIME, pair)) {
    fastSystemClockAnchor.windowTicks.store(0, std::memory_order_release);
    if (wait == 0) {
      wait = kWindowNanos;  // interrupted every time: a loaded machine
    }
    return now;
  }
  return publishAnchor(pair);
}

}  // namespace

namespace internal {

std::chrono::system_clock::time_point refreshFastSystemClock() noexcept {
  if (!counterTrusted()) {
    return std::chrono::system_clock::now();
  }
  auto& anchor = fastSystemClockAnchor;
  const int64_t now = clockNanos(CLOCK_REALTIME);
  // Until the next try is due, the system clock it is (a clock set back by
  // more than the longest wait makes the try due at once).
  const int64_t nextTry = nextTryNanos.load(std::memory_order_relaxed);
  if (now < nextTry && nextTry - now <= kFirstCalibrationNanos) {
    return timePointFromNanos(now);
  }
  uint64_t sequence = anchor.sequence.load(std::memory_order_relaxed);
  if ((sequence & 1) != 0 ||
      !anchor.sequence.compare_exchange_strong(sequence, sequence + 1, std::memory_order_acq_rel,
                                               std::memory_order_relaxed)) {
    return timePointFromNanos(now);  // another thread takes the anchor
  }
  // A reader that sees a field written below (by a release store) also sees
  // the odd number.
  int64_t wait = 0;
  const int64_t nanos = renewAnchor(now, wait);
  nextTryNanos.store(wait != 0 ? nanos + wait : 0, std::memory_order_relaxed);
  anchor.sequence.store(sequence + 2, std::memory_order_release);
  return timePointFromNanos(nanos);
}

}  // namespace internal

bool FastSystemClock::usesCounter() noexcept { return counterTrusted(); }

}  // namespace quorvane
