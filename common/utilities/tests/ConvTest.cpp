#include "common/utilities/Conv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/utilities/testing/ErrorText.h"

namespace quorvane {
namespace {

// The message a conversion of `text` fails with; "<no error>" when it works.
template <typename T>
std::string integerError(std::string_view text) {
  return test::errorText<ConversionError>([&] { parseInteger<T>(text); });
}
std::string sizeError(std::string_view text) {
  return test::errorText<ConversionError>([&] { parseSize(text); });
}
std::string boolError(std::string_view text) {
  return test::errorText<ConversionError>([&] { parseBool(text); });
}
std::string doubleError(std::string_view text) {
  return test::errorText<ConversionError>([&] { parseDouble(text); });
}

TEST(ConvTest, IntegersAcceptBlanksAndASignWhereSigned) {
  EXPECT_EQ(parseInteger<int32_t>("42"), 42);
  EXPECT_EQ(parseInteger<int32_t>(" \t-42\n"), -42);
  EXPECT_EQ(parseInteger<int32_t>("+7"), 7);
  EXPECT_EQ(parseInteger<int64_t>("-0"), 0);
  EXPECT_EQ(parseInteger<uint16_t>("0065535"), 65535);
  EXPECT_EQ(parseInteger<int64_t>("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(parseInteger<int64_t>("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(parseInteger<uint64_t>("18446744073709551615"), UINT64_MAX);
  EXPECT_EQ(parseInteger<int8_t>("-128"), -128);
  EXPECT_EQ(parseInteger<int8_t>("127"), 127);
}

TEST(ConvTest, SizesBooleansAndDoubles) {
  EXPECT_EQ(parseSize("4096"), 4096u);
  EXPECT_EQ(parseSize(" 4096 "), 4096u);
  EXPECT_EQ(parseSize("0"), 0u);
  for (const char* text : {"true", "TRUE", "t", "Yes", "y", "on", " On\t", "1", "01", "0001"}) {
    EXPECT_TRUE(parseBool(text)) << text;
  }
  for (const char* text : {"false", "False", "f", "NO", "n", "off", "0", "000", " 0 "}) {
    EXPECT_FALSE(parseBool(text)) << text;
  }
  EXPECT_EQ(parseDouble("1.5"), 1.5);
  EXPECT_EQ(parseDouble(" -2e3 "), -2000.0);
  EXPECT_EQ(parseDouble("+0.25"), 0.25);
  EXPECT_TRUE(std::isinf(parseDouble("inf")));
}

// Every failure reads "cannot convert \"<text>\" to <type>: <reason>".
TEST(ConvTest, FailuresNameTheTextTheTypeAndTheReason) {
  const struct {
    std::string (*convert)(std::string_view);
    std::string_view text;
    std::string_view typeAndReason;
  } cases[] = {
      // Outside the target's range.
      {&integerError<int8_t>, "128", "int8: out of range"},
      {&integerError<int8_t>, "-129", "int8: out of range"},
      {&integerError<uint8_t>, "256", "uint8: out of range"},
      {&integerError<int64_t>, "9223372036854775808", "int64: out of range"},
      {&integerError<int64_t>, "-9223372036854775809", "int64: out of range"},
      {&integerError<uint64_t>, "18446744073709551616", "uint64: out of range"},
      {&integerError<uint32_t>, "99999999999999999999999", "uint32: out of range"},
      {&doubleError, "1e999", "double: out of range"},
      // Malformed.
      {&integerError<int32_t>, "", "int32: empty input"},
      {&integerError<int32_t>, "   ", "int32: no digits"},
      {&integerError<int32_t>, "-", "int32: no digits"},
      {&integerError<int32_t>, "12 3", "int32: unexpected character"},
      {&integerError<int32_t>, "+-1", "int32: unexpected character"},
      {&integerError<int32_t>, "0x10", "int32: unexpected character"},
      // Sizes take digits only.
      {&sizeError, "-5", "uint64: unexpected character"},
      {&sizeError, "+5", "uint64: unexpected character"},
      {&sizeError, "1e6", "uint64: unexpected character"},
      {&sizeError, "4k", "uint64: unexpected character"},
      {&sizeError, "", "uint64: empty input"},
      {&boolError, "", "bool: empty input"},
      {&boolError, "  ", "bool: no value"},
      {&boolError, "truex", "bool: not a boolean"},
      {&boolError, "true false", "bool: not a boolean"},
      {&boolError, "ye", "bool: not a boolean"},
      // A 1 may only be the last digit of the run.
      {&boolError, "10", "bool: unexpected character"},
      {&boolError, "11", "bool: unexpected character"},
      {&boolError, "2", "bool: unexpected character"},
      {&boolError, "1x", "bool: unexpected character"},
      {&doubleError, "", "double: empty input"},
      {&doubleError, "1.5x", "double: unexpected character"},
      {&doubleError, "+-1", "double: unexpected character"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.convert(c.text),
              "cannot convert \"" + std::string(c.text) + "\" to " + std::string(c.typeAndReason));
  }
}

}  // namespace
}  // namespace quorvane
