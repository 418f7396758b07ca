#include "common/utilities/LocalTime.h"

#include <pthread.h>

#include <atomic>
#include <limits>

namespace quorvane {
namespace {

constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kSecondsPerHour = 60 * kSecondsPerMinute;
constexpr int64_t kSecondsPerDay = 24 * kSecondsPerHour;
constexpr int kDaysPerWeek = 7;
// 1970-01-01 was a Thursday (tm_wday 4).
constexpr int kEpochWeekday = 4;
constexpr int kTmYearBase = 1900;

// Bumped whenever the time zone is re-read, and in every forked child; 0 marks
// an empty cache entry.
std::atomic<uint64_t> zoneGeneration{1};

struct CalendarCache {
  uint64_t generation = 0;
  int64_t seconds = 0;
  std::tm fields{};
};
thread_local CalendarCache calendarCache;

// The zone noted before the last fork, and whether this process is a forked
// child that must use it. Atomics because two threads may fork at once.
std::atomic<bool> inForkedChild{false};
std::atomic<long> forkZoneOffset{0};
std::atomic<int> forkZoneDaylightSaving{0};
std::atomic<const char*> forkZoneAbbreviation{nullptr};

FixedZone forkZone() {
  FixedZone zone;
  zone.offsetSeconds = forkZoneOffset.load(std::memory_order_relaxed);
  zone.isDaylightSaving = forkZoneDaylightSaving.load(std::memory_order_relaxed);
  zone.abbreviation = forkZoneAbbreviation.load(std::memory_order_relaxed);
  return zone;
}

// Before a fork, on the forking thread. A process that is itself a forked
// child keeps the zone it has: the C library's lock may be stuck there.
void noteZoneBeforeFork() noexcept {
  if (inForkedChild.load(std::memory_order_relaxed)) {
    return;
  }
  const std::time_t now = std::time(nullptr);
  std::tm fields{};
  if (::localtime_r(&now, &fields) == nullptr) {
    fields = std::tm{};
  }
  forkZoneOffset.store(fields.tm_gmtoff, std::memory_order_relaxed);
  forkZoneDaylightSaving.store(fields.tm_isdst, std::memory_order_relaxed);
  forkZoneAbbreviation.store(fields.tm_zone, std::memory_order_relaxed);
}

// In the child, before fork() returns there. Every thread's cached entry goes
// stale, so that all breakdowns of the child use the one noted zone.
void useNotedZoneInChild() noexcept {
  inForkedChild.store(true, std::memory_order_relaxed);
  zoneGeneration.fetch_add(1, std::memory_order_acq_rel);
}

// Installed while the image initialises, before any thread of ours exists and
// before any writer registers its own fork callbacks, so that in a child this
// runs before those callbacks restart writer threads. Failing here (out of
// memory at load) leaves children on the C library's code, as without this.
[[maybe_unused]] const int forkHooksInstalled =
    ::pthread_atfork(&noteZoneBeforeFork, nullptr, &useNotedZoneInChild);

int64_t floorDivide(int64_t value, int64_t divisor) {
  const int64_t quotient = value / divisor;
  return value % divisor < 0 ? quotient - 1 : quotient;
}

// Computed from the remainder, so that it cannot overflow at the ends of the
// range.
int64_t floorModulo(int64_t value, int64_t divisor) {
  const int64_t rest = value % divisor;
  return rest < 0 ? rest + divisor : rest;
}

struct CivilDate {
  int64_t year;
  int month;      // 1..12
  int day;        // 1..31
  int dayOfYear;  // 0..365
};

bool isLeapYear(int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

// The proleptic Gregorian date `days` after 1970-01-01, counted in eras of 400
// years (146097 days) from 0000-03-01, so that the leap day ends each year.
CivilDate civilDateFromDays(int64_t days) {
  constexpr int64_t kDaysPerEra = 146097;
  constexpr int64_t kEraStartToEpoch = 719468;  // days from 0000-03-01 to 1970-01-01
  const int64_t shifted = days + kEraStartToEpoch;
  const int64_t era = floorDivide(shifted, kDaysPerEra);
  const int64_t dayOfEra = floorModulo(shifted, kDaysPerEra);  // 0..146096
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / (kDaysPerEra - 1)) / 365;
  const int64_t dayOfMarchYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t marchMonth = (5 * dayOfMarchYear + 2) / 153;  // 0 = March .. 11 = February
  CivilDate date;
  date.day = static_cast<int>(dayOfMarchYear - (153 * marchMonth + 2) / 5 + 1);
  date.month = static_cast<int>(marchMonth < 10 ? marchMonth + 3 : marchMonth - 9);
  date.year = yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0);
  // Days since 1 January: 1 January is day 306 of the year from March, and
  // 1 March is day 59 of the calendar year (60 in a leap year).
  constexpr int64_t kMarchToJanuary = 306;
  constexpr int64_t kJanuaryToMarch = 59;
  date.dayOfYear = static_cast<int>(date.month <= 2 ? dayOfMarchYear - kMarchToJanuary
                                                    : dayOfMarchYear + kJanuaryToMarch +
                                                          (isLeapYear(date.year) ? 1 : 0));
  return date;
}

}  // namespace

std::tm fixedZoneCalendarTime(int64_t seconds, const FixedZone& zone) {
  int64_t local = 0;
  if (__builtin_add_overflow(seconds, static_cast<int64_t>(zone.offsetSeconds), &local)) {
    return std::tm{};
  }
  const int64_t days = floorDivide(local, kSecondsPerDay);
  const int64_t secondOfDay = floorModulo(local, kSecondsPerDay);
  const CivilDate date = civilDateFromDays(days);
  const int64_t tmYear = date.year - kTmYearBase;
  if (tmYear < std::numeric_limits<int>::min() || tmYear > std::numeric_limits<int>::max()) {
    return std::tm{};
  }
  std::tm fields{};
  fields.tm_year = static_cast<int>(tmYear);
  fields.tm_mon = date.month - 1;
  fields.tm_mday = date.day;
  fields.tm_yday = date.dayOfYear;
  fields.tm_wday = static_cast<int>(floorModulo(days + kEpochWeekday, kDaysPerWeek));
  fields.tm_hour = static_cast<int>(secondOfDay / kSecondsPerHour);
  fields.tm_min = static_cast<int>(secondOfDay % kSecondsPerHour / kSecondsPerMinute);
  fields.tm_sec = static_cast<int>(secondOfDay % kSecondsPerMinute);
  fields.tm_isdst = zone.isDaylightSaving;
  fields.tm_gmtoff = zone.offsetSeconds;
  fields.tm_zone = zone.abbreviation;
  return fields;
}

std::tm localCalendarTime(int64_t seconds) {
  if (inForkedChild.load(std::memory_order_relaxed)) {
    return fixedZoneCalendarTime(seconds, forkZone());
  }
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

uint64_t localTimeZoneGeneration() { return zoneGeneration.load(std::memory_order_acquire); }

void reloadLocalTimeZone() {
  if (!inForkedChild.load(std::memory_order_relaxed)) {
    tzset();
  }
  zoneGeneration.fetch_add(1, std::memory_order_acq_rel);
}

}  // namespace quorvane
