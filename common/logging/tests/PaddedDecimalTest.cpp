#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "common/logging/internal/PaddedDecimal.h"

namespace quorvane::logging::internal {
namespace {

template <typename Int>
std::string padded(Int value, size_t width, char fill) {
  char buffer[64];
  char* end = putPadded(buffer, value, width, fill);
  return std::string(buffer, end);
}

template <typename Int>
std::string expected(Int value, size_t width, char fill) {
  return fill == '0' ? fmt::format("{:0{}d}", value, width) : fmt::format("{:{}d}", value, width);
}

TEST(PaddedDecimalTest, AgreesWithTheBraceSpecificationsAcrossDigitCounts) {
  std::vector<uint64_t> values = {0, std::numeric_limits<uint64_t>::max()};
  for (uint64_t power = 1; power <= 1'000'000'000'000'000'000ULL; power *= 10) {
    values.insert(values.end(), {power - 1, power, power + 1, power * 2 - 1});
  }
  for (uint64_t value : values) {
    for (size_t width : {0, 1, 2, 5, 6, 21}) {
      for (char fill : {'0', ' '}) {
        EXPECT_EQ(padded(value, width, fill), expected(value, width, fill))
            << value << " width " << width;
      }
    }
  }
  for (int value : {-1, -42, std::numeric_limits<int>::min(), 7, 99, 100}) {
    EXPECT_EQ(padded(value, 6, '0'), expected(value, 6, '0')) << value;
    EXPECT_EQ(padded(value, 6, ' '), expected(value, 6, ' ')) << value;
  }
}

TEST(PaddedDecimalTest, TwoDigitsForEveryCalendarValueAndBeyond) {
  for (int value = -3; value <= 130; ++value) {
    char buffer[32];
    char* end = putTwoDigits(buffer, value);
    EXPECT_EQ(std::string(buffer, end), fmt::format("{:02d}", value)) << value;
  }
  char buffer[32];
  EXPECT_EQ(std::string(buffer, putTwoDigits(buffer, 7L)), "07");
}

TEST(PaddedDecimalTest, SixDigitsForEveryMicrosecondCountAndBeyond) {
  for (int64_t value :
       {-1L, 0L, 7L, 99L, 100L, 4211L, 99'999L, 100'000L, 999'999L, 1'000'000L, 12'345'678L}) {
    char buffer[32];
    char* end = putSixDigits(buffer, value);
    EXPECT_EQ(std::string(buffer, end), fmt::format("{:06d}", value)) << value;
  }
  for (uint32_t value = 0; value < 1'000'000; value += 997) {
    char buffer[32];
    ASSERT_EQ(std::string(buffer, putSixDigits(buffer, value)), fmt::format("{:06d}", value));
  }
}

}  // namespace
}  // namespace quorvane::logging::internal
