#include "common/utilities/LocalTime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "common/utilities/testing/ScopedTimeZone.h"

namespace quorvane {
namespace {

using std::chrono::microseconds;
using std::chrono::nanoseconds;
using TimePoint = std::chrono::system_clock::time_point;

// 2024-12-06 05:35:07 UTC.
constexpr int64_t kDecember6 = 1733463307;
// 2024-03-10 07:00:00 UTC: 02:00 EST, when US Eastern time moves to 03:00 EDT.
constexpr int64_t kSpringForward = 1710054000;
constexpr const char* kEastern = "EST5EDT,M3.2.0,M11.1.0";

bool sameFields(const std::tm& a, const std::tm& b) {
  return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday &&
         a.tm_hour == b.tm_hour && a.tm_min == b.tm_min && a.tm_sec == b.tm_sec &&
         a.tm_wday == b.tm_wday && a.tm_yday == b.tm_yday && a.tm_isdst == b.tm_isdst &&
         a.tm_gmtoff == b.tm_gmtoff &&
         (a.tm_zone == b.tm_zone ||
          (a.tm_zone != nullptr && b.tm_zone != nullptr && std::strcmp(a.tm_zone, b.tm_zone) == 0));
}

TEST(LocalTimeTest, SplitKeepsMicrosecondsInRangeOnBothSidesOfTheEpoch) {
  auto split = splitTimestamp(TimePoint(microseconds(kDecember6 * 1'000'000 + 42)));
  EXPECT_EQ(split.seconds, kDecember6);
  EXPECT_EQ(split.microseconds, 42u);

  split = splitTimestamp(TimePoint(microseconds(-1)));
  EXPECT_EQ(split.seconds, -1);
  EXPECT_EQ(split.microseconds, 999'999u);

  split = splitTimestamp(TimePoint(microseconds(-1'000'000)));
  EXPECT_EQ(split.seconds, -1);
  EXPECT_EQ(split.microseconds, 0u);

  // Sub-microsecond parts are dropped.
  split = splitTimestamp(
      TimePoint(std::chrono::duration_cast<TimePoint::duration>(nanoseconds(1'999))));
  EXPECT_EQ(split.seconds, 0);
  EXPECT_EQ(split.microseconds, 1u);
}

TEST(LocalTimeTest, BreaksDownInTheProcessTimeZone) {
  test::ScopedTimeZone zone("ABC-3:30");
  std::tm fields = localCalendarTime(kDecember6);
  EXPECT_EQ(fields.tm_year, 124);
  EXPECT_EQ(fields.tm_mon, 11);
  EXPECT_EQ(fields.tm_mday, 6);
  EXPECT_EQ(fields.tm_hour, 9);
  EXPECT_EQ(fields.tm_min, 5);
  EXPECT_EQ(fields.tm_sec, 7);
  EXPECT_EQ(fields.tm_gmtoff, 3 * 3600 + 30 * 60);

  // Before the epoch too.
  fields = localCalendarTime(-1);
  EXPECT_EQ(fields.tm_year, 70);
  EXPECT_EQ(fields.tm_mday, 1);
  EXPECT_EQ(fields.tm_hour, 3);
  EXPECT_EQ(fields.tm_min, 29);
  EXPECT_EQ(fields.tm_sec, 59);
}

TEST(LocalTimeTest, AFailedBreakdownGivesAllZeroFields) {
  test::ScopedTimeZone zone("ABC-3:30");
  for (int64_t seconds :
       {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()}) {
    for (const std::tm& fields : {localCalendarTime(seconds), cachedLocalCalendarTime(seconds)}) {
      EXPECT_TRUE(sameFields(fields, std::tm{})) << seconds;
    }
  }
}

TEST(LocalTimeTest, CachedBreakdownEqualsTheDirectOneAcrossAZoneTransition) {
  test::ScopedTimeZone zone(kEastern);
  for (int64_t seconds = kSpringForward - 3; seconds <= kSpringForward + 3; ++seconds) {
    // Each second twice: once filling the cache, once answered from it.
    for (int round = 0; round < 2; ++round) {
      EXPECT_TRUE(sameFields(cachedLocalCalendarTime(seconds), localCalendarTime(seconds)))
          << seconds;
    }
  }
  EXPECT_EQ(cachedLocalCalendarTime(kSpringForward - 1).tm_hour, 1);
  EXPECT_EQ(cachedLocalCalendarTime(kSpringForward).tm_hour, 3);
  EXPECT_EQ(cachedLocalCalendarTime(kSpringForward).tm_isdst, 1);
}

TEST(LocalTimeTest, ReloadingTheZoneInvalidatesCachedSeconds) {
  std::tm first;
  {
    test::ScopedTimeZone zone("ABC-3:30");
    first = cachedLocalCalendarTime(kDecember6);
    EXPECT_EQ(first.tm_hour, 9);
    {
      test::ScopedTimeZone other(kEastern);
      EXPECT_EQ(cachedLocalCalendarTime(kDecember6).tm_hour, 0);  // 00:35 EST
      EXPECT_EQ(cachedLocalCalendarTime(kDecember6).tm_gmtoff, -5 * 3600);
    }
    EXPECT_TRUE(sameFields(cachedLocalCalendarTime(kDecember6), first));
  }
}

TEST(LocalTimeTest, EachThreadKeepsItsOwnCachedSecond) {
  test::ScopedTimeZone zone(kEastern);
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  std::vector<std::tm> expected;
  for (int t = 0; t < kThreads; ++t) {
    expected.push_back(localCalendarTime(kSpringForward - 2 + t));
  }
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        // Alternate between this thread's own second and a shared one.
        const int64_t seconds = i % 2 == 0 ? kSpringForward - 2 + t : kDecember6;
        const std::tm want = i % 2 == 0 ? expected[t] : localCalendarTime(kDecember6);
        if (!sameFields(cachedLocalCalendarTime(seconds), want)) {
          ++mismatches[t];
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(mismatches[t], 0) << "thread " << t;
  }
}

}  // namespace
}  // namespace quorvane
