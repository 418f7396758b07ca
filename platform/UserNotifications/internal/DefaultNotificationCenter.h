#pragma once

// makeDefaultNotificationCenter: the centre the process uses until another one
// is made current: on Linux the desktop's notification service on the session
// bus (dbus/DbusNotificationCenter.h), elsewhere the shared simulated centre.
//
// Thread safety: may be called from any thread.

#include <memory>

#include "platform/UserNotifications/NotificationCenter.h"

namespace quorvane::platform::notifications::internal {

std::shared_ptr<NotificationCenter> makeDefaultNotificationCenter();

}  // namespace quorvane::platform::notifications::internal
