#pragma once

// SimulationOptions: a change to the simulated centre's situation (see
// SimulatedNotificationCenter::configure). Every field is optional; what is
// left out stays as it is.
//
// - osVersion: the system version the centre stands for, as text ("10.13",
//   "10.14.6", "14.0"; see parseOperatingSystemVersion).
// - authorizationStatus: the platform's integer, 0 to 4 (NotificationSettings.h).
// - grant: the user's answer when an authorisation request asks.
// - authorizationError, addError: an error to fail every authorisation request
//   or every add with, or an empty inner value to stop failing them.
// - settings: the user's notification settings by name, each the platform's
//   integer: "authorizationStatus" (0 to 4; the same value as the field above,
//   which wins when both are given), "notificationCenterSetting",
//   "lockScreenSetting", "alertSetting", "badgeSetting", "soundSetting",
//   "criticalAlertSetting" (0 to 2 each), "alertStyle" (0 to 2),
//   "showPreviewsSetting" (0 to 2).
//
// Fields start empty, so callers name only what they change:
// configure({.osVersion = "10.13", .grant = false}).
//
// Thread safety: a plain value.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/UserNotifications/PlatformError.h"

namespace quorvane::platform::notifications {

struct SimulationOptions {
  std::optional<std::string> osVersion = {};
  std::optional<std::int64_t> authorizationStatus = {};
  std::optional<bool> grant = {};
  std::optional<std::optional<PlatformError>> authorizationError = {};
  std::optional<std::optional<PlatformError>> addError = {};
  std::map<std::string, std::int64_t> settings = {};
};

}  // namespace quorvane::platform::notifications
