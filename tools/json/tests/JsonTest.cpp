#include "tools/json/Json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/utilities/testing/ErrorText.h"

namespace quorvane {
namespace {

std::string jsonError(std::string_view text) {
  return test::errorText<JsonError>([&] { parseJson(text); });
}

TEST(JsonTest, NumbersWithoutFractionOrExponentAreIntegers) {
  EXPECT_TRUE(parseJson("1").isInt());
  EXPECT_TRUE(parseJson("-0").isInt());
  EXPECT_EQ(parseJson("9223372036854775807").getInt(), INT64_MAX);
  EXPECT_EQ(parseJson("-9223372036854775808").getInt(), INT64_MIN);
  EXPECT_TRUE(parseJson("1.0").isDouble());
  EXPECT_TRUE(parseJson("1e2").isDouble());
  EXPECT_TRUE(parseJson("1E2").isDouble());
  EXPECT_EQ(parseJson("2.5").getDouble(), 2.5);
  // Too large for an integer: an error, not a rounded double.
  EXPECT_EQ(jsonError("9223372036854775808"), "integer out of range: 9223372036854775808");
  EXPECT_EQ(jsonError("[123456789012345678901234567890]"),
            "integer out of range: 123456789012345678901234567890");
}

TEST(JsonTest, StructuresAndDuplicateKeys) {
  dynamic value = parseJson(R"({"a": [1, "two", null, true, {"b": {}}], "a2": false, "a2": 3})");
  EXPECT_EQ(value,
            dynamic::object()
                .insert("a", dynamic::array(1, "two", nullptr, true,
                                            dynamic::object().insert("b", dynamic::object())))
                .insert("a2", 3));
  EXPECT_EQ(parseJson(R"("\u00e9\n")"), dynamic("\xc3\xa9\n"));
}

TEST(JsonTest, MalformedTextAndDeepNestingFail) {
  for (const char* text : {"", "{", "[1,]", "{\"a\" 1}", "tru", "1 2", "{'a': 1}"}) {
    EXPECT_NE(jsonError(text), "<no error>") << text;
  }
  EXPECT_TRUE(
      parseJson(std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']')).isArray());
  EXPECT_EQ(jsonError(std::string(kMaxJsonDepth + 1, '[')), "JSON nesting deeper than 512 levels");
}

TEST(JsonTest, Writing) {
  dynamic value = dynamic::object()
                      .insert("b", dynamic::array(1, 2.5, "s", nullptr, false))
                      .insert("a", dynamic::object());
  EXPECT_EQ(toJson(value), R"({"a":{},"b":[1,2.5,"s",null,false]})");
  EXPECT_EQ(toJson(dynamic::array(1), 2), "[\n  1\n]");
  EXPECT_EQ(parseJson(toJson(value)), value);

  EXPECT_EQ(toJson(dynamic::object().insert(1, true).insert(false, 0)), R"({"1":true,"false":0})");
  EXPECT_THROW(toJson(dynamic::object().insert(1, 1).insert("1", 2)), JsonError);
  EXPECT_THROW(toJson(dynamic::object().insert(nullptr, 1)), JsonError);
  EXPECT_THROW(toJson(dynamic("\xff")), JsonError);  // not UTF-8
  EXPECT_EQ(toJson(dynamic(std::nan(""))), "null");
}

}  // namespace
}  // namespace quorvane
