#include "common/utilities/LocalTime.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "common/utilities/testing/ChildProcess.h"
#include "common/utilities/testing/ScopedTimeZone.h"

// Counts the calls this program makes into the C library's time-zone code,
// then passes them on, so that a forked child can tell whether it made any.
namespace {
std::atomic<int> zoneCodeCalls{0};

template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}
}  // namespace

extern "C" struct tm* localtime_r(const time_t* seconds, struct tm* fields) noexcept {
  static const auto real = next<struct tm* (*)(const time_t*, struct tm*)>("localtime_r");
  zoneCodeCalls.fetch_add(1);
  return real(seconds, fields);
}

extern "C" void tzset() noexcept {
  static const auto real = next<void (*)()>("tzset");
  zoneCodeCalls.fetch_add(1);
  real();
}

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

FixedZone zoneOf(const std::tm& fields) {
  return FixedZone{fields.tm_gmtoff, fields.tm_isdst, fields.tm_zone};
}

TEST(LocalTimeTest, FixedZoneBreakdownEqualsTheCLibraryInZonesOfOneOffset) {
  // Both ends of days, months, leap days (2024, 2000, none in 1900 and 2100),
  // years 1 and 0, far years on both sides.
  std::vector<int64_t> seconds = {0,
                                  -1,
                                  86'399,
                                  86'400,
                                  1709164800,
                                  1709251199,
                                  951782400,
                                  951868800,
                                  -2203977600,
                                  4107542400,
                                  -62135596800,
                                  -62167219200,
                                  -62167219201,
                                  253402300799,
                                  100'000'000'000,
                                  -100'000'000'000};
  std::mt19937_64 random(20240312);
  std::uniform_int_distribution<int64_t> anySecond(-100'000'000'000, 100'000'000'000);
  for (int i = 0; i < 20'000; ++i) {
    seconds.push_back(anySecond(random));
  }
  for (const char* name : {"UTC0", "ABC-3:30", "XYZ+11", "QQQ-14"}) {
    test::ScopedTimeZone zone(name);
    const FixedZone fixed = zoneOf(localCalendarTime(0));
    for (int64_t second : seconds) {
      ASSERT_TRUE(sameFields(fixedZoneCalendarTime(second, fixed), localCalendarTime(second)))
          << name << " " << second;
    }
  }
  // Years that do not fit, also where adding the offset would overflow.
  for (int64_t second :
       {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()}) {
    for (long offset : {0L, 14 * 3600L, -14 * 3600L}) {
      EXPECT_TRUE(sameFields(fixedZoneCalendarTime(second, FixedZone{offset}), std::tm{}))
          << second << " " << offset;
    }
  }
}

// In a child: the breakdowns use the zone in force at the fork, for any
// second, and never enter the C library's zone code, also in the child's own
// children. Returns a bit set of the checks that failed.
int checkForkedBreakdowns(int64_t forkSecond, const std::tm& atFork, int64_t cachedBeforeFork) {
  const FixedZone zone = zoneOf(atFork);
  const int callsBefore = zoneCodeCalls.load();
  int failed = 0;
  for (int64_t second : {kSpringForward - 1, kSpringForward + 1, kDecember6}) {
    failed |= sameFields(localCalendarTime(second), fixedZoneCalendarTime(second, zone)) ? 0 : 1;
  }
  failed |= sameFields(cachedLocalCalendarTime(cachedBeforeFork),
                       fixedZoneCalendarTime(cachedBeforeFork, zone))
                ? 0
                : 2;
  // The C library's own result while the offset has not changed.
  failed |= sameFields(localCalendarTime(forkSecond), atFork) ? 0 : 4;
  reloadLocalTimeZone();
  failed |= zoneCodeCalls.load() == callsBefore ? 0 : 8;
  return failed;
}

TEST(LocalTimeTest, AForkedChildKeepsTheZoneOfTheForkWithoutCallingTheCLibrary) {
  test::ScopedTimeZone zone(kEastern);
  const std::time_t now = std::time(nullptr);
  std::tm atFork{};
  ::localtime_r(&now, &atFork);
  // The forking thread's cache holds a second of the other offset.
  const int64_t otherOffsetSecond = atFork.tm_isdst > 0 ? kSpringForward - 1 : kSpringForward + 1;
  ASSERT_NE(cachedLocalCalendarTime(otherOffsetSecond).tm_gmtoff, atFork.tm_gmtoff);

  const pid_t child = ::fork();
  if (child == 0) {
    int failed = checkForkedBreakdowns(now, atFork, otherOffsetSecond);
    const pid_t grandchild = ::fork();
    if (grandchild == 0) {
      ::_exit(checkForkedBreakdowns(now, atFork, otherOffsetSecond));
    }
    failed |= test::exitCodeWithin(grandchild, std::chrono::seconds(10)) << 4;
    ::_exit(failed);
  }
  ASSERT_GT(child, 0);
  EXPECT_EQ(test::exitCodeWithin(child, std::chrono::seconds(20)), 0)
      << "1: breakdown, 2: cached breakdown, 4: differs from the C library's, 8: called it; "
         "times 16: in the grandchild";
  // The parent still follows the zone's rules.
  EXPECT_EQ(localCalendarTime(kSpringForward + 1).tm_hour, 3);
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
