#pragma once

// NotificationResponse: the user's answer to a delivered notification, as the
// centre hands it to its delegate.
//
// - request: the request that delivered the notification (its user info
//   carries the application's own keys back);
// - actionIdentifier: kDefaultActionIdentifier when the notification itself
//   was clicked, otherwise the identifier of the action the user chose;
// - userText: the typed text when the action is a text-input action, absent
//   for every other response (isTextInput() tells the two apart).
//
// Thread safety: a plain value.

#include <optional>
#include <string>

#include "platform/UserNotifications/NotificationRequest.h"

namespace quorvane::platform::notifications {

inline constexpr const char* kDefaultActionIdentifier =
    "com.apple.UNNotificationDefaultActionIdentifier";

struct NotificationResponse {
  NotificationRequest request;
  std::string actionIdentifier;
  std::optional<std::string> userText;

  bool isTextInput() const { return userText.has_value(); }
  bool operator==(const NotificationResponse&) const = default;
};

}  // namespace quorvane::platform::notifications
