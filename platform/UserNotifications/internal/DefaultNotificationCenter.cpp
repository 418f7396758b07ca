#include "platform/UserNotifications/internal/DefaultNotificationCenter.h"

#include "platform/UserNotifications/simulated/SimulatedNotificationCenter.h"

namespace quorvane::platform::notifications::internal {

std::shared_ptr<NotificationCenter> makeDefaultNotificationCenter() {
  return SimulatedNotificationCenter::shared();
}

}  // namespace quorvane::platform::notifications::internal
