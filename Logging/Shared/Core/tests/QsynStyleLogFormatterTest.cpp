#include "Logging/Shared/Core/src/QsynStyleLogFormatter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iomanip>
#include <locale>
#include <sstream>
#include <string>
#include <utility>

#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/utilities/LocalTime.h"
#include "common/utilities/testing/ScopedTimeZone.h"

namespace quorvane::kestro::logging {
namespace {

// 2024-03-12 13:05:09 UTC.
constexpr int64_t kSeconds = 1710248709;

std::chrono::system_clock::time_point at(int64_t seconds, int64_t micros = 0) {
  return std::chrono::system_clock::time_point(
      std::chrono::microseconds(seconds * 1'000'000 + micros));
}

class QsynStyleLogFormatterTest : public ::testing::Test {
 protected:
  std::string format(std::string_view category, LogLevel level, std::string text,
                     std::chrono::system_clock::time_point timestamp = at(kSeconds),
                     std::string_view file = "src/net/Client.cpp") {
    LogMessage message(db_.categoryFor(category), level, timestamp, file, 12, "f", std::move(text));
    return formatter_.formatMessage(message, nullptr);
  }

  test::ScopedTimeZone zone_{"CET-1"};
  LoggerDB db_;
  QsynStyleLogFormatter formatter_;
};

TEST_F(QsynStyleLogFormatterTest, FullDateFullPathAndTag) {
  EXPECT_EQ(format("qsyn.Network.mqtt_client", LogLevel::WARN, "reconnecting"),
            "2024-03-12 14:05:09+0100(src/net/Client.cpp): [W:N:mqtt_client] reconnecting\n");
  // The fraction of the second is dropped, not rounded.
  EXPECT_EQ(format("rtc", LogLevel::ERR, "x", at(kSeconds, 999'999), "/abs/path/a.mm"),
            "2024-03-12 14:05:09+0100(/abs/path/a.mm): [E::] x\n");
  // The message text is the sanitised one.
  EXPECT_EQ(format("qsyn", LogLevel::INFO, "a\\b\x7f"),
            "2024-03-12 14:05:09+0100(src/net/Client.cpp): [U::] a\\\\b\\x7f\n");
}

TEST_F(QsynStyleLogFormatterTest, NewlinesInTheTextKeepOneHeader) {
  EXPECT_EQ(format("qsyn.Db", LogLevel::INFO1, "one\ntwo\n"),
            "2024-03-12 14:05:09+0100(src/net/Client.cpp): [A:D:] one\ntwo\n\n");
}

TEST_F(QsynStyleLogFormatterTest, LevelLettersGoByExactValue) {
  const std::pair<uint32_t, char> cases[] = {
      {1998, 'V'}, {2996, 'S'}, {2997, 'A'}, {2998, 'A'}, {3000, 'W'}, {4000, 'E'},
      {0, 'U'},    {1000, 'U'}, {1997, 'U'}, {1999, 'U'}, {2000, 'U'}, {2995, 'U'},
      {2999, 'U'}, {3001, 'U'}, {3999, 'U'}, {4001, 'U'}, {5000, 'U'}, {0x7fffffff, 'U'},
  };
  for (auto [value, letter] : cases) {
    EXPECT_EQ(QsynStyleLogFormatter::levelLetter(static_cast<LogLevel>(value)), letter) << value;
  }
}

TEST_F(QsynStyleLogFormatterTest, TagTakesTheSecondComponentsInitialAndTheWholeThird) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", "W::"},
      {"qsyn", "W::"},
      {"qsyn.Network", "W:N:"},
      {"qsyn.Network.mqtt_client", "W:N:mqtt_client"},
      {"qsyn.Network.mqtt_client.more.parts", "W:N:mqtt_client"},
      {"qsyn..x", "W::x"},  // empty second component
      {"qsyn.N.", "W:N:"},  // empty third component
      {"qsyn.N..y", "W:N:"},
      {".a.b", "W:a:b"},
      {"...", "W::"},
  };
  for (auto [name, tag] : cases) {
    EXPECT_EQ(QsynStyleLogFormatter::tag(LogLevel::WARN, name), tag) << name;
  }
  // Category names are normalised by the database, so a full line shows the
  // tag of the name as stored.
  EXPECT_EQ(format("qsyn.Store.sql", LogLevel::DBG1, "q"),
            "2024-03-12 14:05:09+0100(src/net/Client.cpp): [V:S:sql] q\n");
}

// The date is written with strftime instead of a string stream; the bytes
// must be those of a C-locale stream's put_time in any zone.
TEST_F(QsynStyleLogFormatterTest, DateMatchesPutTimeInManyZones) {
  const char* zones[] = {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0",
                         "XYZ+9:30"};
  const int64_t seconds[] = {kSeconds, 1720000000, 0, -1, 4102444799};
  for (const char* zone : zones) {
    test::ScopedTimeZone scoped(zone);
    for (int64_t second : seconds) {
      const std::tm time = localCalendarTime(second);
      std::ostringstream expected;
      expected.imbue(std::locale::classic());
      expected << std::put_time(&time, "%F %T%z") << "(f.cpp): [U::] t\n";
      EXPECT_EQ(format("a", LogLevel::INFO, "t", at(second), "f.cpp"), expected.str())
          << zone << " " << second;
    }
  }
}

}  // namespace
}  // namespace quorvane::kestro::logging
