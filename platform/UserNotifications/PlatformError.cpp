#include "platform/UserNotifications/PlatformError.h"

namespace quorvane::platform::notifications {

std::string PlatformError::domainCodeDescription() const {
  return domain + " (" + std::to_string(code) + ") - " + description;
}

std::string PlatformError::objectDescription() const {
  return "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" + description + "\"";
}

PlatformError notificationsNotAllowedError() {
  return PlatformError{kUserNotificationsErrorDomain, kErrorCodeNotificationsNotAllowed,
                       "Notifications are not allowed for this application"};
}

}  // namespace quorvane::platform::notifications
