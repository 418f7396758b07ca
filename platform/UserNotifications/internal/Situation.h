#pragma once

// Situation: what the simulated user and system are like: the system version,
// the user's answer to an authorisation request, the errors to fail requests
// with, and the user's notification settings (authorisation status included).
//
// defaultSituation(): version 14.0, status not determined, grant true, no
// errors, and the settings of a freshly installed application whose user
// allowed notifications.
//
// Thread safety: a plain value.

#include <optional>

#include "platform/UserNotifications/NotificationSettings.h"
#include "platform/UserNotifications/OperatingSystemVersion.h"
#include "platform/UserNotifications/PlatformError.h"

namespace quorvane::platform::notifications::internal {

struct Situation {
  OperatingSystemVersion osVersion;
  bool grant = true;
  std::optional<PlatformError> authorizationError;
  std::optional<PlatformError> addError;
  NotificationSettings settings;
};

inline Situation defaultSituation() {
  constexpr OperatingSystemVersion kDefaultVersion{14, 0, 0};
  NotificationSettings settings;
  settings.authorizationStatus = AuthorizationStatus::kNotDetermined;
  settings.notificationCenterSetting = NotificationSetting::kEnabled;
  settings.lockScreenSetting = NotificationSetting::kEnabled;
  settings.alertSetting = NotificationSetting::kEnabled;
  settings.badgeSetting = NotificationSetting::kEnabled;
  settings.soundSetting = NotificationSetting::kEnabled;
  settings.criticalAlertSetting = NotificationSetting::kNotSupported;
  settings.alertStyle = AlertStyle::kBanner;
  settings.showPreviewsSetting = ShowPreviewsSetting::kAlways;
  return Situation{kDefaultVersion, /*grant=*/true, std::nullopt, std::nullopt, settings};
}

}  // namespace quorvane::platform::notifications::internal
