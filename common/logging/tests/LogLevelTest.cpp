#include "common/logging/LogLevel.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "common/utilities/testing/ErrorText.h"

namespace quorvane {
namespace {

LogLevel level(uint32_t value) { return static_cast<LogLevel>(value); }

std::string parseError(std::string_view text) {
  return test::errorText<std::range_error>([&] { parseLogLevel(text); });
}

TEST(LogLevelTest, NamesAreCaseInsensitiveWithOptionalScope) {
  EXPECT_EQ(parseLogLevel("WARNING"), LogLevel::WARN);
  EXPECT_EQ(parseLogLevel("Warning"), LogLevel::WARN);
  EXPECT_EQ(parseLogLevel("LogLevel::Err"), LogLevel::ERR);
  EXPECT_EQ(parseLogLevel("LogLevel(2992)"), level(2992));
  EXPECT_EQ(parseLogLevel("debug"), LogLevel::DBG);
  EXPECT_EQ(parseLogLevel("dbg"), LogLevel::DBG);
  EXPECT_EQ(parseLogLevel("uninitialized"), LogLevel::UNINITIALIZED);
  EXPECT_EQ(parseLogLevel("none"), LogLevel::NONE);
  EXPECT_EQ(parseLogLevel("critical"), LogLevel::CRITICAL);
  EXPECT_EQ(parseLogLevel("DFATAL"), LogLevel::DFATAL);
  EXPECT_EQ(parseLogLevel("fatal"), LogLevel::FATAL);
  EXPECT_EQ(parseLogLevel("max"), LogLevel::MAX_LEVEL);
  EXPECT_EQ(parseLogLevel("max_level"), LogLevel::MAX_LEVEL);
}

TEST(LogLevelTest, NumberedLevels) {
  EXPECT_EQ(parseLogLevel("dbg0"), level(1999));
  EXPECT_EQ(parseLogLevel("DBG9"), level(1990));
  EXPECT_EQ(parseLogLevel("dbg999"), level(1000));
  EXPECT_EQ(parseLogLevel("dbg+5"), level(1994));
  EXPECT_EQ(parseLogLevel("dbg 3 "), level(1996));
  EXPECT_EQ(parseLogLevel("info5"), level(2994));
  EXPECT_EQ(parseLogLevel("LogLevel::INFO2"), LogLevel::INFO2);

  EXPECT_EQ(parseError("dbg1000"), "invalid dbg logger level: dbg1000");
  EXPECT_EQ(parseError("dbg-1"), "invalid dbg logger level: dbg-1");
  EXPECT_EQ(parseError("DBG3x"), "invalid dbg logger level: DBG3x");
  // The first row whose prefix matches decides.
  EXPECT_EQ(parseError("information"), "invalid info logger level: information");
}

TEST(LogLevelTest, PlainNumbersAndFailures) {
  EXPECT_EQ(parseLogLevel(" 42 "), level(42));
  EXPECT_EQ(parseLogLevel("4294967295"), level(4294967295u));
  EXPECT_EQ(parseLogLevel("0"), LogLevel::UNINITIALIZED);

  // Errors quote the input exactly, not lower-cased.
  EXPECT_EQ(parseError(" warn"), "invalid logger level:  warn");
  EXPECT_EQ(parseError("loglevel(5"), "invalid logger level: loglevel(5");
  EXPECT_EQ(parseError("+5"), "invalid logger level: +5");
  EXPECT_EQ(parseError("-1"), "invalid logger level: -1");
  EXPECT_EQ(parseError("4294967296"), "invalid logger level: 4294967296");
  EXPECT_EQ(parseError("BOGUS"), "invalid logger level: BOGUS");
  EXPECT_EQ(parseError(""), "invalid logger level: ");
}

TEST(LogLevelTest, NamesOfLevels) {
  EXPECT_EQ(logLevelName(LogLevel::DBG), "DEBUG");
  EXPECT_EQ(logLevelName(level(1001)), "DBG998");
  EXPECT_EQ(logLevelName(level(1999)), "DBG0");
  EXPECT_EQ(logLevelName(LogLevel::INFO), "INFO");
  EXPECT_EQ(logLevelName(level(2001)), "INFO998");
  EXPECT_EQ(logLevelName(level(2992)), "INFO7");
  EXPECT_EQ(logLevelName(level(3001)), "LogLevel(3001)");
  EXPECT_EQ(logLevelName(level(0x80000000u)), "LogLevel(2147483648)");
  EXPECT_EQ(logLevelName(LogLevel::MAX_LEVEL), "FATAL");
  EXPECT_EQ(logLevelName(LogLevel::UNINITIALIZED), "UNINITIALIZED");
}

TEST(LogLevelTest, EveryNameReadsBackToItsValue) {
  auto roundTrips = [](uint32_t value) {
    return parseLogLevel(logLevelName(level(value))) == level(value);
  };
  for (uint32_t v = 0; v <= 6000; ++v) {
    ASSERT_TRUE(roundTrips(v)) << v << " -> " << logLevelName(level(v));
  }
  for (uint32_t v : {0x7ffffffdu, 0x7ffffffeu, 0x7fffffffu, 0x80000000u, 0xffffffffu}) {
    EXPECT_TRUE(roundTrips(v)) << v;
  }
}

}  // namespace
}  // namespace quorvane
