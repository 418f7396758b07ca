#include "platform/UserNotifications/PlatformError.h"

#include <gtest/gtest.h>

namespace quorvane::platform::notifications {
namespace {

TEST(PlatformErrorTest, DomainCodeDescriptionJoinsTheThreeParts) {
  EXPECT_EQ(notificationsNotAllowedError().domainCodeDescription(),
            "UNErrorDomain (1) - Notifications are not allowed for this application");
  EXPECT_EQ((PlatformError{"NSCocoaErrorDomain", -1, ""}.domainCodeDescription()),
            "NSCocoaErrorDomain (-1) - ");
}

TEST(PlatformErrorTest, ObjectDescriptionReadsLikeThePlatformsErrorObject) {
  EXPECT_EQ(notificationsNotAllowedError().objectDescription(),
            "Error Domain=UNErrorDomain Code=1 \"Notifications are not allowed for this "
            "application\"");
  EXPECT_EQ((PlatformError{"Sim", 42, "said \"no\""}.objectDescription()),
            "Error Domain=Sim Code=42 \"said \"no\"\"");
}

}  // namespace
}  // namespace quorvane::platform::notifications
