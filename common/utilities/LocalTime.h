#pragma once

// Local calendar time for log lines and file names, safe in a forked child.
//
// splitTimestamp: a wall-clock time point as whole seconds since the epoch and
// the microseconds past that second. The microseconds are always 0..999999:
// times before the epoch round the seconds down, so -1 µs is second -1 plus
// 999999 µs rather than second 0 minus 1 µs.
//
// localCalendarTime: the seconds broken down in the process's time zone.
// When the breakdown fails (a year that does not fit in the fields) every
// field is 0, so a month prints as 1 and a day as 0.
//
// cachedLocalCalendarTime: the same result, byte for byte, but each thread
// keeps the breakdown of the last second it asked for and answers a repeated
// second from it without breaking it down again. An entry is keyed on the
// second and on the time-zone generation: reloadLocalTimeZone() re-reads the
// zone and makes every thread's entry stale. A zone change that reaches the C
// library some other way (tzset after changing TZ) shows in each thread's
// results from its next second on.
//
// Fork. The C library guards its time-zone state with a lock that a forked
// child inherits as it was at the fork and never resets: a child forked while
// any other thread was inside localtime_r, mktime, tzset and the like blocks
// forever on its own first call. So this unit never calls into that code in a
// forked child. Just before every fork (on the forking thread, where the C
// library is safe to use) it notes the zone in force then: its offset east of
// UTC, daylight-saving flag and abbreviation. In the child, and in every
// process forked from it, the breakdowns are computed from that zone with
// arithmetic of our own (fixedZoneCalendarTime), and reloadLocalTimeZone only
// marks cached entries stale. As long as the offset does not change, the
// fields are exactly those the C library gives (all of them, tm_wday, tm_yday,
// tm_isdst, tm_gmtoff and tm_zone included).
//
// A child that lives across a change of offset (daylight saving starting or
// ending) keeps the offset it was forked with: its lines go on showing the old
// offset next to times computed with that same offset. Every line still names
// the right instant (local time and printed offset agree), times never jump
// back or repeat an hour, and a child's file names stay in the order they were
// opened. Following the change would need the zone's rules, which only the C
// library's locked code knows.
//
// Thread safety: all functions may be called from any thread;
// reloadLocalTimeZone must not run concurrently with code that changes the
// environment.

#include <chrono>
#include <cstdint>
#include <ctime>

namespace quorvane {

struct SplitTimestamp {
  int64_t seconds;
  uint32_t microseconds;
};

inline SplitTimestamp splitTimestamp(std::chrono::system_clock::time_point timestamp) {
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

std::tm localCalendarTime(int64_t seconds);
std::tm cachedLocalCalendarTime(int64_t seconds);

// Changes whenever the zone is re-read (reloadLocalTimeZone) and in a forked
// child, never 0: the key under which cachedLocalCalendarTime keeps its
// entries, for callers that keep text derived from a breakdown.
uint64_t localTimeZoneGeneration();

// Calls tzset() and discards every thread's cached breakdown. In a forked
// child the zone stays the one noted at the fork and only the caches are
// discarded.
void reloadLocalTimeZone();

// A zone with one offset all year round.
struct FixedZone {
  long offsetSeconds = 0;  // east of UTC, as tm_gmtoff
  int isDaylightSaving = 0;
  const char* abbreviation = nullptr;  // as tm_zone; not copied
};

// `seconds` broken down in `zone` by arithmetic alone (proleptic Gregorian
// calendar, as the C library's): the fields localtime_r gives in a zone with
// that one offset. All fields are 0 when the year does not fit. Pure.
std::tm fixedZoneCalendarTime(int64_t seconds, const FixedZone& zone);

}  // namespace quorvane
