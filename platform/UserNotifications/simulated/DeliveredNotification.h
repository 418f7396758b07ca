#pragma once

// What the simulated centre records of what it showed.
//
// DeliveredNotification: one delivered notification, flattened: sound is true
// for the default sound, categoryIdentifier is absent when the request set
// none (an empty identifier).
//
// Presentation: the options the delegate chose for a notification it was asked
// to present (willPresentNotification), with the notification's identifier.
//
// Thread safety: plain values.

#include <map>
#include <optional>
#include <string>

#include "platform/UserNotifications/NotificationCenterDelegate.h"
#include "platform/UserNotifications/NotificationRequest.h"

namespace quorvane::platform::notifications {

struct DeliveredNotification {
  std::string identifier;
  std::string title;
  std::string subtitle;
  std::string body;
  bool sound = false;
  std::map<std::string, std::string> userInfo;
  std::optional<std::string> categoryIdentifier;

  static DeliveredNotification of(const NotificationRequest& request) {
    const NotificationContent& content = request.content;
    DeliveredNotification delivered{request.identifier,
                                    content.title,
                                    content.subtitle,
                                    content.body,
                                    content.sound == NotificationSound::kDefault,
                                    content.userInfo,
                                    std::nullopt};
    if (!content.categoryIdentifier.empty()) {
      delivered.categoryIdentifier = content.categoryIdentifier;
    }
    return delivered;
  }

  bool operator==(const DeliveredNotification&) const = default;
};

struct Presentation {
  std::string identifier;
  PresentationOptions options = 0;

  bool operator==(const Presentation&) const = default;
};

}  // namespace quorvane::platform::notifications
