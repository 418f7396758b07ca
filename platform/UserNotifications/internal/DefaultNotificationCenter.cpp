#include "platform/UserNotifications/internal/DefaultNotificationCenter.h"

#ifdef QUORVANE_USERNOTIFICATIONS_DBUS
#include "platform/UserNotifications/dbus/DbusNotificationCenter.h"
#else
#include "platform/UserNotifications/simulated/SimulatedNotificationCenter.h"
#endif

namespace quorvane::platform::notifications::internal {

std::shared_ptr<NotificationCenter> makeDefaultNotificationCenter() {
#ifdef QUORVANE_USERNOTIFICATIONS_DBUS
  return DbusNotificationCenter::shared();
#else
  return SimulatedNotificationCenter::shared();
#endif
}

}  // namespace quorvane::platform::notifications::internal
