#include "common/utilities/LocalTime.h"

#include <atomic>

namespace quorvane {
namespace {

// Bumped whenever the time zone is re-read; 0 marks an empty cache entry.
std::atomic<uint64_t> zoneGeneration{1};

struct CalendarCache {
  uint64_t generation = 0;
  int64_t seconds = 0;
  std::tm fields{};
};
thread_local CalendarCache calendarCache;

}  // namespace

SplitTimestamp splitTimestamp(std::chrono::system_clock::time_point timestamp) {
  const int64_t micros =
      std::chrono::duration_cast<std::chrono::microseconds>(timestamp.time_since_epoch()).count();
  int64_t seconds = micros / 1'000'000;
  int64_t rest = micros % 1'000'000;
  if (rest < 0) {
    seconds -= 1;
    rest += 1'000'000;
  }
  return {seconds, static_cast<uint32_t>(rest)};
}

std::tm localCalendarTime(int64_t seconds) {
  std::tm fields{};
  const auto value = static_cast<std::time_t>(seconds);
  if (static_cast<int64_t>(value) != seconds || localtime_r(&value, &fields) == nullptr) {
    return std::tm{};
  }
  return fields;
}

std::tm cachedLocalCalendarTime(int64_t seconds) {
  CalendarCache& cache = calendarCache;
  const uint64_t generation = zoneGeneration.load(std::memory_order_acquire);
  if (cache.generation != generation || cache.seconds != seconds) {
    cache.fields = localCalendarTime(seconds);
    cache.seconds = seconds;
    cache.generation = generation;
  }
  return cache.fields;
}

void reloadLocalTimeZone() {
  tzset();
  zoneGeneration.fetch_add(1, std::memory_order_acq_rel);
}

}  // namespace quorvane
