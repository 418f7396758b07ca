#include "common/logging/LogConfigParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/utilities/testing/ErrorText.h"

namespace quorvane {
namespace {

std::string parseError(const dynamic& value) {
  return test::errorText<LogConfigParseError>([&] { configFromDynamic(value); });
}

dynamic withCategories(dynamic categories) {
  return dynamic::object().insert("categories", std::move(categories));
}
dynamic withCategory(std::string_view name, dynamic entry) {
  return withCategories(dynamic::object().insert(name, std::move(entry)));
}
dynamic withHandlers(dynamic handlers) {
  return dynamic::object().insert("handlers", std::move(handlers));
}
dynamic withHandler(std::string_view name, dynamic entry) {
  return withHandlers(dynamic::object().insert(name, std::move(entry)));
}

TEST(LogConfigParserTest, TopLevelShape) {
  EXPECT_EQ(parseError(dynamic::array()), "JSON config input must be an object");
  EXPECT_EQ(parseError("{}"), "JSON config input must be an object");
  EXPECT_EQ(configFromDynamic(dynamic::object()), LogConfig{});
  EXPECT_EQ(parseError(withCategories(dynamic::array())),
            "unexpected data type for log categories config: got array, expected an object");
  EXPECT_EQ(parseError(withHandlers(5)),
            "unexpected data type for log handlers config: got integer, expected an object");
  EXPECT_EQ(parseError(withHandlers(nullptr)),
            "unexpected data type for log handlers config: got null, expected an object");
  // Unknown keys are ignored at every level.
  dynamic value = withCategory("a", dynamic::object().insert("level", "WARN").insert("x", 1))
                      .insert("other", dynamic::array());
  value.insert("handlers",
               dynamic::object().insert("h", dynamic::object().insert("type", "t").insert("y", 2)));
  LogConfig config = configFromDynamic(value);
  EXPECT_EQ(config.categoryConfigs().at("a").level, LogLevel::WARN);
  EXPECT_EQ(config.handlerConfigs().at("h"), LogHandlerConfig{"t"});
}

TEST(LogConfigParserTest, ABareLevelGivesTheDefaultsOtherwise) {
  LogConfig config = configFromDynamic(withCategory("a.b", "DBG3"));
  ASSERT_EQ(config.categoryConfigs().size(), 1u);
  const LogCategoryConfig& category = config.categoryConfigs().at("a.b");
  EXPECT_EQ(toUnderlying(category.level), 1996u);
  EXPECT_TRUE(category.inherit);
  EXPECT_EQ(category.propagate, LogLevel::NONE);
  EXPECT_FALSE(category.handlers.has_value());

  EXPECT_EQ(configFromDynamic(withCategory("x", 3000)).categoryConfigs().at("x").level,
            LogLevel::WARN);
}

TEST(LogConfigParserTest, CategoryObjectAndCanonicalNames) {
  dynamic entry = dynamic::object()
                      .insert("level", "info5")
                      .insert("inherit", false)
                      .insert("propagate", "err")
                      .insert("handlers", dynamic::array("h1", "h2", "h1"));
  LogConfig config = configFromDynamic(withCategory("/a//b.", entry));
  ASSERT_EQ(config.categoryConfigs().count("a.b"), 1u);
  const LogCategoryConfig& category = config.categoryConfigs().at("a.b");
  EXPECT_EQ(toUnderlying(category.level), 2994u);
  EXPECT_FALSE(category.inherit);
  EXPECT_EQ(category.propagate, LogLevel::ERR);
  EXPECT_EQ(category.handlers, (std::vector<std::string>{"h1", "h2", "h1"}));

  // An empty list is a present, empty list.
  config = configFromDynamic(
      withCategory("", dynamic::object().insert("level", 1).insert("handlers", dynamic::array())));
  EXPECT_EQ(config.categoryConfigs().at("").handlers, std::vector<std::string>{});
  EXPECT_EQ(config.categoryConfigs().at("").level, LogLevel::NONE);
}

TEST(LogConfigParserTest, LevelRule) {
  EXPECT_EQ(parseError(withCategory("a", 0)),
            "invalid log level 0 for category \"a\": outside of valid range");
  EXPECT_EQ(parseError(withCategory("a", -5)),
            "invalid log level -5 for category \"a\": outside of valid range");
  EXPECT_EQ(parseError(withCategory("a", int64_t{2147483648})),
            "invalid log level 2147483648 for category \"a\": outside of valid range");
  EXPECT_EQ(configFromDynamic(withCategory("a", 2147483647)).categoryConfigs().at("a").level,
            LogLevel::MAX_LEVEL);
  // Text goes through parseLogLevel, which accepts 0 and values above the
  // maximum (the category clamps them).
  EXPECT_EQ(configFromDynamic(withCategory("a", "0")).categoryConfigs().at("a").level,
            LogLevel::UNINITIALIZED);
  EXPECT_EQ(toUnderlying(
                configFromDynamic(withCategory("a", "4294967295")).categoryConfigs().at("a").level),
            4294967295u);
  EXPECT_EQ(parseError(withCategory("A.b", "loud")),
            "invalid log level \"loud\" for category \"A.b\"");
  // Messages name the category as it was written, not its canonical form.
  EXPECT_EQ(parseError(withCategory("a/b", dynamic::object().insert("level", "bogus"))),
            "invalid log level \"bogus\" for category \"a/b\"");
  EXPECT_EQ(parseError(withCategory(
                "a", dynamic::object().insert("level", "INFO").insert("propagate", "nope"))),
            "invalid log level \"nope\" for category \"a\"");
  EXPECT_EQ(parseError(withCategory(
                "a", dynamic::object().insert("level", "INFO").insert("propagate", 0))),
            "invalid log level 0 for category \"a\": outside of valid range");
}

TEST(LogConfigParserTest, CategoryTypeErrors) {
  EXPECT_EQ(parseError(withCategory("a", true)),
            "unexpected data type for configuration of category \"a\": got boolean, expected an "
            "object, string, or integer");
  EXPECT_EQ(parseError(withCategory("a", 2.0)),
            "unexpected data type for configuration of category \"a\": got double, expected an "
            "object, string, or integer");
  EXPECT_EQ(parseError(withCategory("a", dynamic::object())),
            "no log level specified for category \"a\"");
  EXPECT_EQ(parseError(withCategory("a", dynamic::object().insert("level", dynamic::array()))),
            "unexpected data type for level field of category \"a\": got array, expected a "
            "string or integer");
  EXPECT_EQ(parseError(withCategory(
                "a", dynamic::object().insert("level", "INFO").insert("inherit", "true"))),
            "unexpected data type for inherit field of category \"a\": got string, expected a "
            "boolean");
  EXPECT_EQ(parseError(withCategory(
                "a", dynamic::object().insert("level", "INFO").insert("propagate", nullptr))),
            "unexpected data type for propagate field of category \"a\": got null, expected a "
            "string or integer");
  EXPECT_EQ(parseError(withCategory(
                "x", dynamic::object().insert("level", "INFO").insert("handlers", "h"))),
            "the \"handlers\" field for category x must be a list");
  EXPECT_EQ(
      parseError(withCategory(
          "x",
          dynamic::object().insert("level", "INFO").insert("handlers", dynamic::array("h", 3)))),
      "the \"handlers\" list for category x must be contain only strings");
  EXPECT_EQ(parseError(withCategories(dynamic::object().insert(1, "INFO"))),
            "category name must be a string");
}

TEST(LogConfigParserTest, TwoSpellingsOfOneCategoryAreRejected) {
  dynamic categories = dynamic::object().insert("a/b", "INFO").insert("a.b", "WARN");
  std::vector<std::string> order;
  for (const auto& item : categories.items()) {
    order.push_back(item.first.getString());
  }
  EXPECT_EQ(parseError(withCategories(categories)),
            "category \"a.b\" listed multiple times under different names: \"" + order[0] +
                "\" and \"" + order[1] + "\"");
}

TEST(LogConfigParserTest, HandlerEntries) {
  LogConfig config = configFromDynamic(withHandler(
      "h",
      dynamic::object()
          .insert("type", "stream")
          .insert("options", dynamic::object().insert("stream", "stderr").insert("async", "no"))));
  EXPECT_EQ(config.handlerConfigs().at("h"),
            (LogHandlerConfig{"stream", {{"stream", "stderr"}, {"async", "no"}}}));

  EXPECT_EQ(parseError(withHandlers(dynamic::object().insert(dynamic::array(), 1))),
            "handler name must be a string");
  EXPECT_EQ(parseError(withHandler("h", "stream")),
            "unexpected data type for configuration of handler \"h\": got string, expected an "
            "object");
  EXPECT_EQ(parseError(withHandler("h", dynamic::object())),
            "no handler type specified for log handler \"h\"");
  EXPECT_EQ(parseError(withHandler("h", dynamic::object().insert("type", 1))),
            "unexpected data type for \"type\" field of handler \"h\": got integer, expected a "
            "string");
  EXPECT_EQ(parseError(withHandler(
                "h", dynamic::object().insert("type", "t").insert("options", dynamic::array()))),
            "unexpected data type for \"options\" field of handler \"h\": got array, expected an "
            "object");
  EXPECT_EQ(
      parseError(withHandler("h", dynamic::object()
                                      .insert("type", "t")
                                      .insert("options", dynamic::object().insert(true, "x")))),
      "unexpected data type for option of handler \"h\": got boolean, expected string");
  EXPECT_EQ(
      parseError(withHandler("h", dynamic::object()
                                      .insert("type", "stream")
                                      .insert("options", dynamic::object().insert("stream", 2)))),
      "unexpected data type for option \"stream\" of handler \"h\": got integer, expected "
      "a string");
}

TEST(LogConfigParserTest, CategoriesAreCheckedBeforeHandlers) {
  dynamic value = withHandler("h", dynamic::object());
  value.insert("categories", dynamic::object().insert("a", nullptr));
  EXPECT_EQ(parseError(value),
            "unexpected data type for configuration of category \"a\": got null, expected an "
            "object, string, or integer");
}

TEST(LogConfigParserTest, Serialisation) {
  LogCategoryConfig category(LogLevel::DBG, false);
  category.propagate = LogLevel::WARN;
  EXPECT_EQ(configToDynamic(category), dynamic::object()
                                           .insert("level", "DEBUG")
                                           .insert("inherit", false)
                                           .insert("propagate", "WARN"));
  category.handlers = std::vector<std::string>{"b", "a"};
  EXPECT_EQ(*configToDynamic(category).get_ptr("handlers"), dynamic::array("b", "a"));

  EXPECT_EQ(configToDynamic(LogHandlerConfig{LogHandlerConfig::Options{{"k", "v"}}}),
            dynamic::object().insert("options", dynamic::object().insert("k", "v")));
  EXPECT_EQ(configToDynamic(LogHandlerConfig{"t"}),
            dynamic::object().insert("options", dynamic::object()).insert("type", "t"));

  EXPECT_EQ(configToDynamic(LogConfig{}), dynamic::object()
                                              .insert("categories", dynamic::object())
                                              .insert("handlers", dynamic::object()));
}

TEST(LogConfigParserTest, SerialisedConfigsParseBackEqual) {
  LogConfig config;
  config.handlerConfigs().emplace("h", LogHandlerConfig{"t", {{"a", "1"}, {"b", ""}}});
  config.handlerConfigs().emplace("g", LogHandlerConfig{"u"});
  auto level = [](uint32_t value) { return static_cast<LogLevel>(value); };
  // Levels of every printed form: names, numbered levels, and LogLevel(n),
  // including values a category would clamp.
  const uint32_t levels[] = {0,    1,    1000,       1001,       1999,       2000,      2992,
                             3001, 5000, 0x7ffffffe, 0x7fffffff, 0x80000000, 0xffffffff};
  int i = 0;
  for (uint32_t value : levels) {
    LogCategoryConfig category(level(value), i % 2 == 0);
    category.propagate = level(levels[(i + 3) % std::size(levels)]);
    if (i % 3 == 0) {
      category.handlers = std::vector<std::string>{"h", "g", "h"};
    } else if (i % 3 == 1) {
      category.handlers = std::vector<std::string>{};
    }
    config.categoryConfigs().emplace(i == 0 ? "" : "c" + std::to_string(i), category);
    ++i;
  }
  EXPECT_EQ(configFromDynamic(configToDynamic(config)), config);
}

}  // namespace
}  // namespace quorvane
