#pragma once

// Local calendar time for log lines and file names.
//
// splitTimestamp: a wall-clock time point as whole seconds since the epoch and
// the microseconds past that second. The microseconds are always 0..999999:
// times before the epoch round the seconds down, so -1 µs is second -1 plus
// 999999 µs rather than second 0 minus 1 µs.
//
// localCalendarTime: the seconds broken down in the process's time zone
// (localtime_r). When the breakdown fails (a value the C library cannot
// represent) every field is 0, so a month prints as 1 and a day as 0.
//
// cachedLocalCalendarTime: the same result, byte for byte, but each thread
// keeps the breakdown of the last second it asked for and answers a repeated
// second from it without calling into the C library (whose time-zone code takes
// a process-wide lock). An entry is keyed on the second and on the time-zone
// generation: reloadLocalTimeZone() re-reads the zone and makes every thread's
// entry stale. A zone change that reaches the C library some other way (tzset
// after changing TZ) shows in each thread's results from its next second on.
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

SplitTimestamp splitTimestamp(std::chrono::system_clock::time_point timestamp);

std::tm localCalendarTime(int64_t seconds);
std::tm cachedLocalCalendarTime(int64_t seconds);

// Calls tzset() and discards every thread's cached breakdown.
void reloadLocalTimeZone();

}  // namespace quorvane
