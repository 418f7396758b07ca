#pragma once

// makeDefaultNotificationCenter: the centre the process uses until another one
// is made current. For now the shared simulated centre; a backend for the
// system's own notification service takes its place here.
//
// Thread safety: may be called from any thread.

#include <memory>

#include "platform/UserNotifications/NotificationCenter.h"

namespace quorvane::platform::notifications::internal {

std::shared_ptr<NotificationCenter> makeDefaultNotificationCenter();

}  // namespace quorvane::platform::notifications::internal
