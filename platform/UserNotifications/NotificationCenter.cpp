#include "platform/UserNotifications/NotificationCenter.h"

#include <mutex>
#include <utility>

#include "platform/UserNotifications/internal/DefaultNotificationCenter.h"

namespace quorvane::platform::notifications {

namespace {

// The process's current centre. Never destroyed, so calls made while the
// process exits (from other threads or from later destructors) find it intact.
struct CurrentCenter {
  std::mutex mutex;
  std::shared_ptr<NotificationCenter> center;
};

CurrentCenter& currentCenter() {
  static auto* const current = new CurrentCenter;
  return *current;
}

}  // namespace

NotificationCenter::~NotificationCenter() = default;

NotificationCenterDelegate::~NotificationCenterDelegate() = default;

void NotificationCenterDelegate::didRemoveDeliveredNotifications(NotificationCenter&,
                                                                 const std::vector<std::string>&) {}

std::shared_ptr<NotificationCenter> currentNotificationCenter() {
  CurrentCenter& current = currentCenter();
  std::lock_guard<std::mutex> lock(current.mutex);
  if (!current.center) {
    current.center = internal::makeDefaultNotificationCenter();
  }
  return current.center;
}

std::shared_ptr<NotificationCenter> setCurrentNotificationCenter(
    std::shared_ptr<NotificationCenter> center) {
  CurrentCenter& current = currentCenter();
  std::lock_guard<std::mutex> lock(current.mutex);
  return std::exchange(current.center, std::move(center));
}

}  // namespace quorvane::platform::notifications
