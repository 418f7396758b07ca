#include "Logging/Shared/Core/src/CrashReport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Logging/Shared/Core/src/CrashTime.h"
#include "Logging/Shared/Core/src/KestroStyleFormatter.h"
#include "common/logging/testing/LogLineFieldsSamples.h"
#include "common/utilities/LocalTime.h"
#include "common/utilities/testing/ScopedTimeZone.h"

namespace quorvane::kestro::logging {
namespace {

using ::testing::MatchesRegex;

// The report is the main channel's layout byte for byte: the same message
// through KestroStyleFormatter gives the same text.
TEST(CrashReportTest, TheReportIsAFatalMessageInTheMainChannelsLayout) {
  test::ScopedTimeZone zone(test::kTestTimeZone);
  noteLocalZoneOffset(localCalendarTime(test::kTestSeconds).tm_gmtoff);
  for (uint64_t thread : {uint64_t{1234}, uint64_t{4194303}}) {
    CrashReport report(test::kTestSeconds * 1'000'000 + 42, thread, "main", 42);
    report.addSignalLine(SIGBUS, 4242, thread);
    void* frames[] = {reinterpret_cast<void*>(&::getpid), nullptr};
    report.addFrames(frames, 2);
    const std::string text(report.data(), report.size());

    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
      lines.push_back(text.substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), 3u) << text;
    const std::string header = lines[0].substr(0, lines[0].find("] ") + 2);
    const std::string message = lines[0].substr(header.size()) + "\n" +
                                lines[1].substr(header.size()) + "\n" +
                                lines[2].substr(header.size());
    std::string expected;
    LogLineFields fields = test::sampleFields(message, LogLevel::FATAL);
    fields.threadId = thread;
    KestroStyleFormatter().appendFields(expected, fields);
    EXPECT_EQ(text, expected);
    EXPECT_EQ(lines[0].substr(header.size()), "Fatal signal SIGBUS (" + std::to_string(SIGBUS) +
                                                  ") in process 4242, thread " +
                                                  std::to_string(thread) + "; backtrace:");
    EXPECT_THAT(lines[1].substr(header.size()),
                MatchesRegex("  #0 0x[0-9a-f]{16} [a-z_]*getpid\\+0x0 \\(.*libc.*\\)"));
    EXPECT_EQ(lines[2].substr(header.size()), "  #1 0x0000000000000000 ?");
  }
}

TEST(CrashReportTest, FramesBeyondTheBufferAreLeftOutWholeLines) {
  CrashReport report(0, 1, "CrashHandler.cpp", 1);
  std::vector<void*> frames(1000, reinterpret_cast<void*>(&::getpid));
  report.addFrames(frames.data(), static_cast<int>(frames.size()));
  const std::string text(report.data(), report.size());
  EXPECT_LE(text.size(), CrashReport::kCapacity);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  EXPECT_LT(std::count(text.begin(), text.end(), '\n'), 1000);
}

}  // namespace
}  // namespace quorvane::kestro::logging
