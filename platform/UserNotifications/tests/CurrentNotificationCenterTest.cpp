#include <gtest/gtest.h>

#include <memory>

#include "platform/UserNotifications/NotificationCenter.h"
#include "platform/UserNotifications/OperatingSystemVersion.h"
#include "platform/UserNotifications/dbus/DbusNotificationCenter.h"
#include "platform/UserNotifications/simulated/SimulatedNotificationCenter.h"

namespace quorvane::platform::notifications {
namespace {

TEST(CurrentNotificationCenterTest, TheDesktopsCentreIsTheDefault) {
  std::shared_ptr<NotificationCenter> current = currentNotificationCenter();
  EXPECT_EQ(current, DbusNotificationCenter::shared());
  EXPECT_EQ(currentNotificationCenter(), current);
  EXPECT_EQ(currentOperatingSystemVersion(), (OperatingSystemVersion{14, 0, 0}));
}

TEST(CurrentNotificationCenterTest, ACentreSetStaysCurrentUntilReplacedOrCleared) {
  auto other = std::make_shared<SimulatedNotificationCenter>(/*laneCount=*/1);
  other->configure({.osVersion = "10.13"});

  setCurrentNotificationCenter(nullptr);
  EXPECT_EQ(setCurrentNotificationCenter(other), nullptr);
  EXPECT_EQ(currentNotificationCenter(), other);
  EXPECT_EQ(currentOperatingSystemVersion(), (OperatingSystemVersion{10, 13, 0}));

  EXPECT_EQ(setCurrentNotificationCenter(nullptr), other);
  EXPECT_EQ(currentNotificationCenter(), DbusNotificationCenter::shared());

  setCurrentNotificationCenter(other);
  EXPECT_EQ(installSimulatedNotificationCenter(), SimulatedNotificationCenter::shared());
  EXPECT_EQ(currentNotificationCenter(), SimulatedNotificationCenter::shared());
  EXPECT_EQ(setCurrentNotificationCenter(nullptr), SimulatedNotificationCenter::shared());
}

}  // namespace
}  // namespace quorvane::platform::notifications
