#include "Logging/Shared/Core/src/KestroStyleFormatter.h"

#include <fmt/chrono.h>
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/testing/FormatterChecks.h"
#include "common/logging/testing/LogLineFieldsSamples.h"
#include "common/utilities/LocalTime.h"
#include "common/utilities/testing/ScopedTimeZone.h"

namespace quorvane::kestro::logging {
namespace {

using namespace std::chrono_literals;

using test::sampleFields;

// sampleFields in kTestTimeZone (UTC+3:30).
constexpr std::string_view kHeader = "I1206 09:05:07.000042+0330  1234 main:42] ";

class KestroStyleFormatterTest : public ::testing::Test {
 protected:
  test::ScopedTimeZone zone_{test::kTestTimeZone};
  KestroStyleFormatter formatter_;
};

TEST_F(KestroStyleFormatterTest, FormatsARealMessageWithTheZoneOffset) {
  test::ScopedTimeZone berlinWinter("CET-1");
  LoggerDB db;
  // 2024-03-12 13:05:09.004211 UTC.
  const auto timestamp = std::chrono::system_clock::time_point(
      std::chrono::microseconds(1710248709LL * 1'000'000 + 4211));
  LogMessage message(db.categoryFor("x"), LogLevel::INFO, timestamp, "src/Sender.cpp", 88, "send",
                     std::string("sent \x01 ok"));
  const std::string expected = fmt::format(
      "I0312 14:05:09.004211+0100 {:5d} Sender.cpp:88] sent \\x01 ok\n", message.threadId());
  EXPECT_EQ(formatter_.formatMessage(message, nullptr), expected);
}

// Lines formatted from messages reuse the text of the thread's last second;
// a message of another thread, or a zone re-read within the same second, must
// not get that text.
TEST_F(KestroStyleFormatterTest, LinesFollowTheThreadAndTheZoneWithinOneSecond) {
  LoggerDB db;
  const auto timestamp = std::chrono::system_clock::time_point(
      std::chrono::microseconds(1710248709LL * 1'000'000 + 4211));
  const LogMessage mine(db.categoryFor("x"), LogLevel::INFO, timestamp, "src/Sender.cpp", 88,
                        "send", std::string("mine"));
  std::unique_ptr<const LogMessage> theirs;
  std::thread([&] {
    theirs = std::make_unique<LogMessage>(db.categoryFor("x"), LogLevel::WARN, timestamp + 1us,
                                          "Other.cpp", 7, "run", std::string("theirs\nsecond"));
  }).join();
  ASSERT_NE(theirs->threadId(), mine.threadId());

  std::string line;
  for (const LogMessage* message : {&mine, theirs.get(), &mine}) {
    formatter_.formatMessageInto(line, *message, nullptr);
    EXPECT_EQ(line, formatter_.formatMessage(*message, nullptr));
    EXPECT_NE(line.find(fmt::format(" {:5d} ", message->threadId())), std::string::npos) << line;
  }
  test::ScopedTimeZone nepal("NPT-5:45");
  formatter_.formatMessageInto(line, mine, nullptr);
  EXPECT_EQ(line, formatter_.formatMessage(mine, nullptr));
  EXPECT_TRUE(line.starts_with("I0312 18:50:09.004211+0545 ")) << line;
}

TEST_F(KestroStyleFormatterTest, OneLineMessagesAndMicroseconds) {
  EXPECT_EQ(formatter_.formatFields(sampleFields("ready")), std::string(kHeader) + "ready\n");
  EXPECT_EQ(formatter_.formatFields(sampleFields("")), std::string(kHeader) + "\n");
  auto fields = sampleFields("x");
  fields.microseconds = 7;
  EXPECT_EQ(formatter_.formatFields(fields), "I1206 09:05:07.000007+0330  1234 main:42] x\n");
  fields.microseconds = 999'999;
  EXPECT_EQ(formatter_.formatFields(fields), "I1206 09:05:07.999999+0330  1234 main:42] x\n");
}

TEST_F(KestroStyleFormatterTest, FormattingIntoAStringReplacesWhatItHeld) {
  test::expectFormattingIntoReplacesWhatItHeld(formatter_);
}

TEST_F(KestroStyleFormatterTest, EveryLineOfAMultiLineMessageGetsTheHeader) {
  const std::string header(kHeader);
  EXPECT_EQ(formatter_.formatFields(sampleFields("a\nb")), header + "a\n" + header + "b\n");
  // A trailing newline leaves a last line holding only the header.
  EXPECT_EQ(formatter_.formatFields(sampleFields("a\n")), header + "a\n" + header + "\n");
  EXPECT_EQ(formatter_.formatFields(sampleFields("\n")), header + "\n" + header + "\n");
  EXPECT_EQ(formatter_.formatFields(sampleFields("a\n\nb")),
            header + "a\n" + header + "\n" + header + "b\n");
}

TEST_F(KestroStyleFormatterTest, LevelLetters) {
  const std::pair<uint32_t, char> cases[] = {
      {0, 'V'},          {1000, 'V'},       {1999, 'V'},       {2000, 'I'},       {2999, 'I'},
      {3000, 'W'},       {3999, 'W'},       {4000, 'E'},       {4999, 'E'},       {5000, 'C'},
      {2147483645, 'C'}, {2147483646, 'F'}, {2147483647, 'F'}, {0xffffffff, 'F'},
  };
  for (auto [value, letter] : cases) {
    const auto fields = sampleFields("x", static_cast<LogLevel>(value));
    EXPECT_EQ(formatter_.formatFields(fields)[0], letter) << value;
  }
}

TEST_F(KestroStyleFormatterTest, ThreadIdIsRightAlignedToFiveAndNeverCut) {
  auto fields = sampleFields("t");
  fields.threadId = 7;
  EXPECT_EQ(formatter_.formatFields(fields), "I1206 09:05:07.000042+0330     7 main:42] t\n");
  fields.threadId = 18'446'744'073'709'551'615u;
  EXPECT_EQ(formatter_.formatFields(fields),
            "I1206 09:05:07.000042+0330 18446744073709551615 main:42] t\n");
}

TEST_F(KestroStyleFormatterTest, AFailedBreakdownPrintsZeroFieldsAndOffset) {
  auto fields = sampleFields("x");
  fields.time = std::tm{};
  EXPECT_EQ(formatter_.formatFields(fields), "I0100 00:00:00.000042+0000  1234 main:42] x\n");
}

// The header is written by hand; it must give the bytes of the brace pattern
// with the engine's time support, in zones east and west of UTC, with daylight
// saving time and with offsets that are not whole hours.
TEST_F(KestroStyleFormatterTest, HeaderMatchesTheBracePatternInManyZones) {
  const char* zones[] = {
      "UTC0",       "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0", "XYZ+9:30", "NPT-5:45",
      "LMT-0:19:32"};
  // Winter and summer instants, and one just before the epoch.
  const int64_t seconds[] = {1733463307, 1720000000, -1, 0, 4102444799};
  for (const char* zone : zones) {
    test::ScopedTimeZone scoped(zone);
    for (int64_t second : seconds) {
      auto fields = sampleFields("x", LogLevel::WARN);
      fields.time = localCalendarTime(second);
      fields.microseconds = 5;
      fields.threadId = 123456;
      fields.lineNumber = 4'294'967'295u;
      fields.fileBaseName = "Client.cpp";
      const std::string expected = fmt::format(
          fmt::runtime("{0}{1:%m%d %H:%M:%S}.{2:06d}{1:%z} {3:5d} {4}:{5}] x\n"), 'W', fields.time,
          fields.microseconds, fields.threadId, "Client.cpp", fields.lineNumber);
      EXPECT_EQ(formatter_.formatFields(fields), expected) << zone << " " << second;
    }
  }
}

}  // namespace
}  // namespace quorvane::kestro::logging
