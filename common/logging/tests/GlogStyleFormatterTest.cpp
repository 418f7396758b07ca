#include "common/logging/GlogStyleFormatter.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/testing/FormatterChecks.h"
#include "common/logging/testing/LogLineFieldsSamples.h"
#include "common/utilities/testing/ScopedTimeZone.h"

namespace quorvane {
namespace {

using test::sampleFields;

constexpr std::string_view kHeader = "I1206 09:05:07.000042  1234 main:42] ";

class GlogStyleFormatterTest : public ::testing::Test {
 protected:
  test::ScopedTimeZone zone_{test::kTestTimeZone};
  GlogStyleFormatter formatter_;
};

TEST_F(GlogStyleFormatterTest, OneLineMessage) {
  EXPECT_EQ(formatter_.formatFields(sampleFields("ready")), std::string(kHeader) + "ready\n");
  EXPECT_EQ(formatter_.formatFields(sampleFields("")), std::string(kHeader) + "\n");
}

TEST_F(GlogStyleFormatterTest, FormatsARealMessage) {
  LoggerDB db;
  LogMessage message(db.categoryFor("x"), LogLevel::WARN, test::testTimestamp(7),
                     "src/net/Client.cpp", 88, "send", std::string("late \x1b reply"));
  const std::string expected = fmt::format(
      "W1206 09:05:07.000007 {:5d} Client.cpp:88] late \\x1b reply\n", message.threadId());
  EXPECT_EQ(formatter_.formatMessage(message, db.categoryFor("")), expected);
}

TEST_F(GlogStyleFormatterTest, ThreadIdIsRightAlignedToFiveAndNeverCut) {
  auto fields = sampleFields("t");
  fields.threadId = 7;
  EXPECT_EQ(formatter_.formatFields(fields), "I1206 09:05:07.000042     7 main:42] t\n");
  fields.threadId = 12345;
  EXPECT_EQ(formatter_.formatFields(fields), "I1206 09:05:07.000042 12345 main:42] t\n");
  fields.threadId = 9876543210;
  EXPECT_EQ(formatter_.formatFields(fields), "I1206 09:05:07.000042 9876543210 main:42] t\n");
}

TEST_F(GlogStyleFormatterTest, FormattingIntoAStringReplacesWhatItHeld) {
  test::expectFormattingIntoReplacesWhatItHeld(formatter_);
}

TEST_F(GlogStyleFormatterTest, EveryLineOfAMultiLineMessageGetsTheHeader) {
  const std::string header(kHeader);
  EXPECT_EQ(formatter_.formatFields(sampleFields("a\nb")), header + "a\n" + header + "b\n");
  // A trailing newline leaves a last line holding only the header.
  EXPECT_EQ(formatter_.formatFields(sampleFields("a\n")), header + "a\n" + header + "\n");
  EXPECT_EQ(formatter_.formatFields(sampleFields("\n\n")),
            header + "\n" + header + "\n" + header + "\n");
}

TEST_F(GlogStyleFormatterTest, ContextFollowsTheLineNumber) {
  auto fields = sampleFields("a\nb");
  fields.context = " user=7";
  EXPECT_EQ(formatter_.formatFields(fields),
            "I1206 09:05:07.000042  1234 main:42 user=7] a\n"
            "I1206 09:05:07.000042  1234 main:42 user=7] b\n");
}

TEST_F(GlogStyleFormatterTest, LevelLetters) {
  const std::pair<uint32_t, char> cases[] = {
      {0, 'V'},          {1000, 'V'},       {1999, 'V'},       {2000, 'I'},       {2999, 'I'},
      {3000, 'W'},       {3999, 'W'},       {4000, 'E'},       {4999, 'E'},       {5000, 'C'},
      {0x7ffffffd, 'C'}, {0x7ffffffe, 'F'}, {0x7fffffff, 'F'}, {0xffffffff, 'F'},
  };
  for (auto [value, letter] : cases) {
    const auto fields = sampleFields("x", static_cast<LogLevel>(value));
    EXPECT_EQ(formatter_.formatFields(fields)[0], letter) << value;
  }
  EXPECT_EQ(logLineLevelName(LogLevel::DFATAL), "FATAL");
  EXPECT_EQ(logLineLevelName(LogLevel::DBG0), "VERBOSE");
  EXPECT_EQ(logLineLevelName(LogLevel::WARN), "WARNING");
}

TEST_F(GlogStyleFormatterTest, AFailedBreakdownPrintsZeroFields) {
  auto fields = sampleFields("x");
  fields.time = std::tm{};
  EXPECT_EQ(formatter_.formatFields(fields), "I0100 00:00:00.000042  1234 main:42] x\n");
}

TEST_F(GlogStyleFormatterTest, HeaderMatchesTheBracePatternForAnyFieldValues) {
  struct Case {
    int month, day, hour, minute, second;
    uint32_t microseconds;
    uint64_t threadId;
    unsigned int line;
  };
  const Case cases[] = {
      {0, 0, 0, 0, 0, 0, 0, 0},
      {11, 31, 23, 59, 60, 999'999, 99'999, 1},
      {123, 100, -1, -12, 7, 1'000'000, 100'000, 4'294'967'295u},
      {-2, 5, 9, 5, 7, 4'294'967'295u, 18'446'744'073'709'551'615u, 42},
  };
  for (const Case& c : cases) {
    auto fields = sampleFields("x");
    fields.time.tm_mon = c.month;
    fields.time.tm_mday = c.day;
    fields.time.tm_hour = c.hour;
    fields.time.tm_min = c.minute;
    fields.time.tm_sec = c.second;
    fields.microseconds = c.microseconds;
    fields.threadId = c.threadId;
    fields.lineNumber = c.line;
    fields.context = " ctx";
    const std::string expected =
        fmt::format(fmt::runtime("{}{:02d}{:02d} {:02d}:{:02d}:{:02d}.{:06d} {:5d} {}:{}{}] x\n"),
                    'I', c.month + 1, c.day, c.hour, c.minute, c.second, c.microseconds, c.threadId,
                    "main", c.line, " ctx");
    EXPECT_EQ(formatter_.formatFields(fields), expected);
  }
}

TEST_F(GlogStyleFormatterTest, TimesBeforeTheEpochKeepMicrosecondsPositive) {
  LoggerDB db;
  LogMessage message(db.categoryFor("x"), LogLevel::INFO,
                     std::chrono::system_clock::time_point(std::chrono::microseconds(-1)), "f", 1,
                     "", std::string("old"));
  // 1969-12-31 23:59:59.999999 UTC is 03:29:59.999999 on 1 January 1970 at UTC+3:30.
  EXPECT_EQ(formatter_.formatMessage(message, nullptr).substr(0, 22), "I0101 03:29:59.999999 ");
}

}  // namespace
}  // namespace quorvane
