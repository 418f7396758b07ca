#include "platform/UserNotifications/OperatingSystemVersion.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "common/utilities/testing/ErrorText.h"
#include "platform/UserNotifications/NotificationCenter.h"
#include "platform/UserNotifications/simulated/SimulatedNotificationCenter.h"

namespace quorvane::platform::notifications {
namespace {

using quorvane::test::errorText;

constexpr OperatingSystemVersion kMojave{10, 14, 0};
constexpr OperatingSystemVersion kCatalina{10, 15, 0};

TEST(OperatingSystemVersionTest, ParsesOneToThreeDecimalParts) {
  struct Case {
    const char* text;
    OperatingSystemVersion expected;
  };
  const Case cases[] = {
      {"10.13", {10, 13, 0}}, {"10.14.6", {10, 14, 6}}, {"14.0", {14, 0, 0}},
      {"14", {14, 0, 0}},     {"010.09", {10, 9, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parseOperatingSystemVersion(c.text), c.expected) << c.text;
  }
}

TEST(OperatingSystemVersionTest, RejectsMalformedTextNamingIt) {
  EXPECT_EQ(errorText<std::invalid_argument>([] { parseOperatingSystemVersion("10.x"); }),
            "\"10.x\" is not an operating-system version: expected up to three decimal numbers "
            "separated by dots, such as \"10.14\" or \"10.14.6\"");
  const char* malformed[] = {"",          "10.",    ".14",    "10..1",
                             "10.14.6.1", "ten",    "-10.14", "+10.14",
                             " 10.14",    "10.14 ", "10,14",  "10.-1",
                             "0x10.1",    "1e2.0",  "10.14.", "99999999999999999999.0"};
  for (const char* text : malformed) {
    EXPECT_NE(errorText<std::invalid_argument>([&] {
                parseOperatingSystemVersion(text);
              }).find("\"" + std::string(text) + "\" is not an operating-system version"),
              std::string::npos)
        << text;
  }
}

TEST(OperatingSystemVersionTest, ComparesPartByPartAsNumbers) {
  struct Case {
    const char* running;
    OperatingSystemVersion minimum;
    bool atLeast;
  };
  const Case cases[] = {
      {"10.13", kMojave, false},     {"10.14", kMojave, true},        {"10.14.6", kMojave, true},
      {"10.14.6", kCatalina, false}, {"10.15", kCatalina, true},      {"14.0", kCatalina, true},
      {"10.9", {10, 10, 0}, false},  {"10.14.5", {10, 14, 6}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parseOperatingSystemVersion(c.running) >= c.minimum, c.atLeast) << c.running;
  }
}

TEST(OperatingSystemVersionTest, TheTestAsksTheCurrentCentre) {
  auto center = std::make_shared<SimulatedNotificationCenter>();
  setCurrentNotificationCenter(center);

  center->configure({.osVersion = "10.13"});
  EXPECT_FALSE(isOperatingSystemAtLeastVersion(kMojave));
  center->configure({.osVersion = "10.14.6"});
  EXPECT_TRUE(isOperatingSystemAtLeastVersion(kMojave));
  EXPECT_FALSE(isOperatingSystemAtLeastVersion(kCatalina));
  center->configure({.osVersion = "14.0"});
  EXPECT_TRUE(isOperatingSystemAtLeastVersion(kCatalina));
  EXPECT_EQ(currentOperatingSystemVersion(), (OperatingSystemVersion{14, 0, 0}));

  setCurrentNotificationCenter(nullptr);
}

}  // namespace
}  // namespace quorvane::platform::notifications
