// Configurations written as JSON text, read through dynamic into LogConfig and
// back.

#include <gtest/gtest.h>

#include <string>

#include "common/logging/LogConfigParser.h"
#include "tools/json/Json.h"

namespace quorvane {
namespace {

constexpr const char* kConfigText = R"json({
  "categories": {
    "": {"level": "INFO", "inherit": false, "handlers": ["kestroLog"]},
    "sync/engine": {"level": "dbg3", "propagate": "WARN", "handlers": ["qsynLog", "kestroLog"]},
    "rtc": "err",
    "trace": 1000,
    "quiet": {"level": 5000, "inherit": true, "handlers": []},
    "odd": {"level": "LogLevel(2147483648)"}
  },
  "handlers": {
    "kestroLog": {"type": "kestroGlog", "options": {"maxFileSize": "1048576", "async": "true"}},
    "qsynLog": {"type": "kestroXqsyn"}
  },
  "comment": "ignored"
})json";

TEST(ConfigJsonRoundTripTest, TextToConfigAndBackGivesAnEqualConfig) {
  LogConfig parsed = configFromDynamic(parseJson(kConfigText));
  ASSERT_EQ(parsed.categoryConfigs().size(), 6u);
  EXPECT_EQ(parsed.categoryConfigs().count("sync.engine"), 1u);
  EXPECT_EQ(toUnderlying(parsed.categoryConfigs().at("odd").level), 2147483648u);
  EXPECT_EQ(parsed.handlerConfigs().at("kestroLog").options.at("maxFileSize"), "1048576");

  dynamic serialised = configToDynamic(parsed);
  EXPECT_EQ(configFromDynamic(serialised), parsed);
  // And once more through text.
  EXPECT_EQ(configFromDynamic(parseJson(toJson(serialised, 2))), parsed);
}

TEST(ConfigJsonRoundTripTest, ParseErrorsFromText) {
  auto error = [](const char* text) {
    try {
      configFromDynamic(parseJson(text));
    } catch (const LogConfigParseError& ex) {
      return std::string(ex.what());
    }
    return std::string("<no error>");
  };
  EXPECT_EQ(error(R"({"handlers": {"h": {"type": "stream", "options": {"stream": 2}}}})"),
            "unexpected data type for option \"stream\" of handler \"h\": got integer, expected "
            "a string");
  EXPECT_EQ(error("[]"), "JSON config input must be an object");
  // 1.0 is a double in JSON text, and not a level.
  EXPECT_EQ(error(R"({"categories": {"a": 1.0}})"),
            "unexpected data type for configuration of category \"a\": got double, expected an "
            "object, string, or integer");
  EXPECT_EQ(error(R"({"categories": {"a": 2147483648}})"),
            "invalid log level 2147483648 for category \"a\": outside of valid range");
}

}  // namespace
}  // namespace quorvane
