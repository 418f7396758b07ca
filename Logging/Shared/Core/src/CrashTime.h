#pragma once

// Local calendar time for the crash path, where the C library's time-zone
// code (locked, allocating) must not run: the breakdown uses the zone offset
// last noted by code that could ask the C library, with arithmetic alone.
//
// The rotating writers note the offset of every file name they make, and the
// crash handler notes it when it is installed, so it is at most one rotation
// (a day by default) old: a crash right after a change of offset (daylight
// saving) may print the offset before it, with times that agree with it.
//
// Thread safety: both functions from any thread; both async-signal-safe.

#include <cstdint>
#include <ctime>

namespace quorvane::kestro::logging {

// `offsetSeconds` east of UTC, as tm_gmtoff.
void noteLocalZoneOffset(long offsetSeconds) noexcept;

// `seconds` since the epoch broken down with the noted offset.
std::tm crashLocalTime(int64_t seconds) noexcept;

}  // namespace quorvane::kestro::logging
