#include "common/utilities/Dynamic.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>

#include "common/utilities/testing/ErrorText.h"

namespace quorvane {
namespace {

template <typename F>
std::string typeError(F&& operation) {
  return test::errorText<DynamicTypeError>(operation);
}

template <typename F>
std::string conversionError(F&& operation) {
  return test::errorText<ConversionError>(operation);
}

TEST(DynamicTest, TagsAndTypeNames) {
  struct Case {
    dynamic value;
    dynamic::Type type;
    int tag;
    std::string name;
  };
  const Case cases[] = {
      {dynamic(), dynamic::Type::Null, 0, "null"},
      {dynamic::array(), dynamic::Type::Array, 1, "array"},
      {dynamic(true), dynamic::Type::Bool, 2, "boolean"},
      {dynamic(2.5), dynamic::Type::Double, 3, "double"},
      {dynamic(7), dynamic::Type::Int64, 4, "int64"},
      {dynamic::object(), dynamic::Type::Object, 5, "object"},
      {dynamic("s"), dynamic::Type::String, 6, "string"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value.type(), c.type) << c.name;
    EXPECT_EQ(static_cast<int>(c.value.type()), c.tag) << c.name;
    EXPECT_EQ(c.value.typeName(), c.name);
  }
  EXPECT_TRUE(dynamic(nullptr).isNull());
  EXPECT_TRUE(dynamic(std::string("x")).isString());
  EXPECT_TRUE(dynamic(std::string_view("x")).isString());
}

TEST(DynamicTest, IntegersOfEveryWidthAndTheUnsignedLimit) {
  EXPECT_EQ(dynamic(int8_t{-5}).getInt(), -5);
  EXPECT_EQ(dynamic(uint16_t{65535}).getInt(), 65535);
  EXPECT_EQ(dynamic(INT64_MIN).getInt(), INT64_MIN);
  EXPECT_EQ(dynamic(uint64_t{INT64_MAX}).getInt(), INT64_MAX);
  // Wrapping into a negative number would silently change the value.
  EXPECT_EQ(conversionError([] { dynamic d(uint64_t{1} << 63); }),
            "cannot convert 9223372036854775808 to int64: out of range");
}

TEST(DynamicTest, CopyIsDeepAndMoveLeavesNull) {
  dynamic original = dynamic::object().insert("list", dynamic::array(1, "two", dynamic::object()));
  dynamic copy = original;
  copy.get_ptr("list")->push_back(3);
  copy.get_ptr("list")->at(2).insert("k", "v");
  EXPECT_EQ(original.get_ptr("list")->size(), 3u);
  EXPECT_TRUE(original.get_ptr("list")->at(2).items().empty());
  EXPECT_NE(original, copy);

  dynamic assigned;
  assigned = copy;
  EXPECT_EQ(assigned, copy);

  dynamic moved = std::move(copy);
  EXPECT_TRUE(copy.isNull());  // NOLINT(bugprone-use-after-move): documented state
  EXPECT_EQ(moved, assigned);
  dynamic target = 5;
  target = std::move(moved);
  EXPECT_TRUE(moved.isNull());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(target, assigned);
}

TEST(DynamicTest, AssigningAPartOfItselfKeepsThePart) {
  dynamic value = dynamic::array(dynamic::array("inner", 1), 2);
  value = value.at(0);  // copy from inside the tree being replaced
  EXPECT_EQ(value, dynamic::array("inner", 1));
  value = std::move(value.at(0));
  EXPECT_EQ(value, dynamic("inner"));
  dynamic object = dynamic::object().insert("a", dynamic::object().insert("b", 1));
  object = std::move(*object.get_ptr("a"));
  EXPECT_EQ(object, dynamic::object().insert("b", 1));
}

TEST(DynamicTest, Equality) {
  EXPECT_EQ(dynamic(1), dynamic(1.0));
  EXPECT_EQ(dynamic(1.0), dynamic(1));
  EXPECT_NE(dynamic(1), dynamic(1.5));
  EXPECT_NE(dynamic(1), dynamic("1"));
  EXPECT_NE(dynamic(1), dynamic(true));
  EXPECT_NE(dynamic(), dynamic(0));
  EXPECT_EQ(dynamic(), dynamic(nullptr));
  EXPECT_EQ(dynamic::array(1, 2), dynamic::array(1.0, 2));
  EXPECT_NE(dynamic::array(1, 2), dynamic::array(2, 1));
  EXPECT_NE(dynamic::array(1), dynamic::array(1, 1));
  EXPECT_EQ(dynamic::object().insert("a", 1).insert("b", 2),
            dynamic::object().insert("b", 2).insert("a", 1.0));
  EXPECT_NE(dynamic::object().insert("a", 1), dynamic::object().insert("a", 1).insert("b", 2));
  EXPECT_NE(dynamic::object().insert("a", 1), dynamic::object().insert("a", 2));
  EXPECT_NE(dynamic::array(), dynamic::object());
  EXPECT_EQ(dynamic(std::string("a\0b", 3)), dynamic(std::string("a\0b", 3)));
  EXPECT_NE(dynamic(std::string("a\0b", 3)), dynamic("a"));
}

TEST(DynamicTest, HashAgreesWithEquality) {
  EXPECT_EQ(dynamic(1).hash(), dynamic(1.0).hash());
  EXPECT_EQ(dynamic(0.0).hash(), dynamic(-0.0).hash());
  EXPECT_EQ(dynamic::object().insert("a", 1).insert("b", 2).hash(),
            dynamic::object().insert("b", 2).insert("a", 1.0).hash());
  // Keys that compare equal are one key.
  dynamic object = dynamic::object();
  object.insert(1, "int");
  object.insert(1.0, "double");
  ASSERT_EQ(object.items().size(), 1u);
  EXPECT_EQ(*object.get_ptr(1), dynamic("double"));
  EXPECT_EQ(*object.get_ptr(1.0), dynamic("double"));
  EXPECT_EQ(object.get_ptr("1"), nullptr);
  object.insert(-0.0, "zero");
  EXPECT_NE(object.get_ptr(0), nullptr);
}

TEST(DynamicTest, ObjectOperations) {
  dynamic object = dynamic::object();
  object.insert("k", 1);
  object.insert("k", 2);  // overwrites
  object.insert(dynamic::array(1), "array key");
  ASSERT_EQ(object.items().size(), 2u);
  EXPECT_EQ(*object.get_ptr("k"), dynamic(2));
  EXPECT_EQ(*object.get_ptr(dynamic::array(1)), dynamic("array key"));
  EXPECT_EQ(object.get_ptr("missing"), nullptr);
  *object.get_ptr("k") = "changed";
  EXPECT_EQ(static_cast<const dynamic&>(object).get_ptr("k")->getString(), "changed");

  std::set<std::string> keys;
  for (const auto& [key, value] : object.items()) {
    keys.insert(key.isString() ? key.getString() : key.typeName().data());
  }
  EXPECT_EQ(keys, (std::set<std::string>{"array", "k"}));

  EXPECT_TRUE(object.erase("k"));
  EXPECT_FALSE(object.erase("k"));
  EXPECT_EQ(object.items().size(), 1u);
}

TEST(DynamicTest, ArrayOperations) {
  dynamic array = dynamic::array();
  EXPECT_EQ(array.size(), 0u);
  array.push_back(1);
  array.push_back("two");
  array.push_back(dynamic::array(3.0));
  ASSERT_EQ(array.size(), 3u);
  std::vector<dynamic::Type> types;
  for (const dynamic& element : array) {
    types.push_back(element.type());
  }
  EXPECT_EQ(types, (std::vector<dynamic::Type>{dynamic::Type::Int64, dynamic::Type::String,
                                               dynamic::Type::Array}));
  for (dynamic& element : array) {
    element = 0;
  }
  EXPECT_EQ(array, dynamic::array(0, 0, 0));
  EXPECT_THROW(array.at(3), std::out_of_range);
}

TEST(DynamicTest, TypeErrorTexts) {
  EXPECT_EQ(typeError([] { dynamic::array().get_ptr("k"); }),
            "TypeError: expected dynamic type `object', but had type `array'");
  EXPECT_EQ(typeError([] { dynamic(5).insert("k", 1); }),
            "TypeError: expected dynamic type `object', but had type `int64'");
  EXPECT_EQ(typeError([] { dynamic().items(); }),
            "TypeError: expected dynamic type `object', but had type `null'");
  EXPECT_EQ(typeError([] { dynamic::object().push_back(1); }),
            "TypeError: expected dynamic type `array', but had type `object'");
  EXPECT_EQ(typeError([] { dynamic("s").size(); }),
            "TypeError: expected dynamic type `array', but had type `string'");
  EXPECT_EQ(typeError([] { (void)dynamic(true).begin(); }),
            "TypeError: expected dynamic type `array', but had type `boolean'");
  EXPECT_EQ(typeError([] { dynamic(1).getString(); }),
            "TypeError: expected dynamic type `string', but had type `int64'");
  EXPECT_EQ(typeError([] { dynamic(1.0).getInt(); }),
            "TypeError: expected dynamic type `int64', but had type `double'");
  EXPECT_EQ(typeError([] { dynamic(1).getBool(); }),
            "TypeError: expected dynamic type `boolean', but had type `int64'");
  EXPECT_EQ(typeError([] { dynamic(1).getDouble(); }),
            "TypeError: expected dynamic type `double', but had type `int64'");
  EXPECT_EQ(typeError([] { dynamic().asString(); }),
            "TypeError: expected dynamic type `int/double/bool/string', but had type `null'");
  EXPECT_EQ(typeError([] { dynamic::array().asInt(); }),
            "TypeError: expected dynamic type `int/double/bool/string', but had type `array'");
  EXPECT_EQ(typeError([] { dynamic::object().asBool(); }),
            "TypeError: expected dynamic type `int/double/bool/string', but had type `object'");
  EXPECT_EQ(typeError([] { dynamic().asDouble(); }),
            "TypeError: expected dynamic type `int/double/bool/string', but had type `null'");
  // It is a runtime_error for callers that catch broadly.
  EXPECT_THROW(dynamic().getInt(), std::runtime_error);
}

TEST(DynamicTest, ConversionsToString) {
  EXPECT_EQ(dynamic(-42).asString(), "-42");
  EXPECT_EQ(dynamic(true).asString(), "true");
  EXPECT_EQ(dynamic(false).asString(), "false");
  EXPECT_EQ(dynamic("text").asString(), "text");
  EXPECT_EQ(dynamic(0.5).asString(), "0.5");
  EXPECT_EQ(parseDouble(dynamic(0.1).asString()), 0.1);
}

TEST(DynamicTest, ConversionsToInt) {
  EXPECT_EQ(dynamic(true).asInt(), 1);
  EXPECT_EQ(dynamic(false).asInt(), 0);
  EXPECT_EQ(dynamic(-3.0).asInt(), -3);
  EXPECT_EQ(dynamic(" 17 ").asInt(), 17);
  EXPECT_EQ(dynamic(-9223372036854775807.0 - 1).asInt(), INT64_MIN);
  EXPECT_EQ(conversionError([] { dynamic(1.5).asInt(); }),
            "cannot convert 1.5 to int64: loses its fraction");
  EXPECT_EQ(conversionError([] { dynamic(9223372036854775808.0).asInt(); }),
            "cannot convert 9223372036854775808 to int64: out of range");
  EXPECT_EQ(conversionError([] { dynamic(std::numeric_limits<double>::quiet_NaN()).asInt(); }),
            "cannot convert nan to int64: out of range");
  EXPECT_EQ(conversionError([] { dynamic("12abc").asInt(); }),
            "cannot convert \"12abc\" to int64: unexpected character");
  // The conversion error is a range_error.
  EXPECT_THROW(dynamic("x").asInt(), std::range_error);
}

TEST(DynamicTest, ConversionsToBoolAndDouble) {
  EXPECT_TRUE(dynamic(2).asBool());
  EXPECT_FALSE(dynamic(0).asBool());
  EXPECT_TRUE(dynamic(0.1).asBool());
  EXPECT_FALSE(dynamic(0.0).asBool());
  EXPECT_TRUE(dynamic("yes").asBool());
  EXPECT_FALSE(dynamic("off").asBool());
  EXPECT_EQ(conversionError([] { dynamic("maybe").asBool(); }),
            "cannot convert \"maybe\" to bool: not a boolean");

  EXPECT_EQ(dynamic(3).asDouble(), 3.0);
  EXPECT_EQ(dynamic(true).asDouble(), 1.0);
  EXPECT_EQ(dynamic("2.5").asDouble(), 2.5);
  EXPECT_EQ(conversionError([] { dynamic("2.5.1").asDouble(); }),
            "cannot convert \"2.5.1\" to double: unexpected character");
}

}  // namespace
}  // namespace quorvane
