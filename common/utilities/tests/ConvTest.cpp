#include "common/utilities/Conv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "common/utilities/testing/ErrorText.h"

namespace quorvane {
namespace {

template <typename F>
std::string conversionError(F&& convert) {
  return test::errorText<ConversionError>(convert);
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

TEST(ConvTest, IntegersOutsideTheTargetRangeFail) {
  EXPECT_EQ(conversionError([] { parseInteger<int8_t>("128"); }),
            "cannot convert \"128\" to int8: out of range");
  EXPECT_EQ(conversionError([] { parseInteger<int8_t>("-129"); }),
            "cannot convert \"-129\" to int8: out of range");
  EXPECT_EQ(conversionError([] { parseInteger<uint8_t>("256"); }),
            "cannot convert \"256\" to uint8: out of range");
  EXPECT_EQ(conversionError([] { parseInteger<int64_t>("9223372036854775808"); }),
            "cannot convert \"9223372036854775808\" to int64: out of range");
  EXPECT_EQ(conversionError([] { parseInteger<int64_t>("-9223372036854775809"); }),
            "cannot convert \"-9223372036854775809\" to int64: out of range");
  EXPECT_EQ(conversionError([] { parseInteger<uint64_t>("18446744073709551616"); }),
            "cannot convert \"18446744073709551616\" to uint64: out of range");
  EXPECT_EQ(conversionError([] { parseInteger<uint32_t>("99999999999999999999999"); }),
            "cannot convert \"99999999999999999999999\" to uint32: out of range");
}

TEST(ConvTest, MalformedIntegersFailNamingTheText) {
  EXPECT_EQ(conversionError([] { parseInteger<int32_t>(""); }),
            "cannot convert \"\" to int32: empty input");
  EXPECT_EQ(conversionError([] { parseInteger<int32_t>("   "); }),
            "cannot convert \"   \" to int32: no digits");
  EXPECT_EQ(conversionError([] { parseInteger<int32_t>("-"); }),
            "cannot convert \"-\" to int32: no digits");
  EXPECT_EQ(conversionError([] { parseInteger<int32_t>("12 3"); }),
            "cannot convert \"12 3\" to int32: unexpected character");
  EXPECT_EQ(conversionError([] { parseInteger<int32_t>("+-1"); }),
            "cannot convert \"+-1\" to int32: unexpected character");
  EXPECT_EQ(conversionError([] { parseInteger<int32_t>("0x10"); }),
            "cannot convert \"0x10\" to int32: unexpected character");
}

TEST(ConvTest, SizesTakeDigitsOnly) {
  EXPECT_EQ(parseSize("4096"), 4096u);
  EXPECT_EQ(parseSize(" 4096 "), 4096u);
  EXPECT_EQ(parseSize("0"), 0u);
  EXPECT_EQ(conversionError([] { parseSize("-5"); }),
            "cannot convert \"-5\" to uint64: unexpected character");
  EXPECT_EQ(conversionError([] { parseSize("+5"); }),
            "cannot convert \"+5\" to uint64: unexpected character");
  EXPECT_EQ(conversionError([] { parseSize("1e6"); }),
            "cannot convert \"1e6\" to uint64: unexpected character");
  EXPECT_EQ(conversionError([] { parseSize("4k"); }),
            "cannot convert \"4k\" to uint64: unexpected character");
  EXPECT_EQ(conversionError([] { parseSize(""); }), "cannot convert \"\" to uint64: empty input");
}

TEST(ConvTest, BooleanWords) {
  for (const char* text : {"true", "TRUE", "t", "Yes", "y", "on", " On\t", "1", "01", "0001"}) {
    EXPECT_TRUE(parseBool(text)) << text;
  }
  for (const char* text : {"false", "False", "f", "NO", "n", "off", "0", "000", " 0 "}) {
    EXPECT_FALSE(parseBool(text)) << text;
  }
}

TEST(ConvTest, BooleanFailures) {
  EXPECT_EQ(conversionError([] { parseBool(""); }), "cannot convert \"\" to bool: empty input");
  EXPECT_EQ(conversionError([] { parseBool("  "); }), "cannot convert \"  \" to bool: no value");
  EXPECT_EQ(conversionError([] { parseBool("truex"); }),
            "cannot convert \"truex\" to bool: not a boolean");
  EXPECT_EQ(conversionError([] { parseBool("true false"); }),
            "cannot convert \"true false\" to bool: not a boolean");
  EXPECT_EQ(conversionError([] { parseBool("ye"); }),
            "cannot convert \"ye\" to bool: not a boolean");
  // A 1 may only be the last digit of the run.
  EXPECT_EQ(conversionError([] { parseBool("10"); }),
            "cannot convert \"10\" to bool: unexpected character");
  EXPECT_EQ(conversionError([] { parseBool("11"); }),
            "cannot convert \"11\" to bool: unexpected character");
  EXPECT_EQ(conversionError([] { parseBool("2"); }),
            "cannot convert \"2\" to bool: unexpected character");
  EXPECT_EQ(conversionError([] { parseBool("1x"); }),
            "cannot convert \"1x\" to bool: unexpected character");
}

TEST(ConvTest, Doubles) {
  EXPECT_EQ(parseDouble("1.5"), 1.5);
  EXPECT_EQ(parseDouble(" -2e3 "), -2000.0);
  EXPECT_EQ(parseDouble("+0.25"), 0.25);
  EXPECT_TRUE(std::isinf(parseDouble("inf")));
  EXPECT_EQ(conversionError([] { parseDouble(""); }), "cannot convert \"\" to double: empty input");
  EXPECT_EQ(conversionError([] { parseDouble("1.5x"); }),
            "cannot convert \"1.5x\" to double: unexpected character");
  EXPECT_EQ(conversionError([] { parseDouble("+-1"); }),
            "cannot convert \"+-1\" to double: unexpected character");
  EXPECT_EQ(conversionError([] { parseDouble("1e999"); }),
            "cannot convert \"1e999\" to double: out of range");
}

}  // namespace
}  // namespace quorvane
