#pragma once

// The application's standing with the notification centre: the authorisation
// status, the options an authorisation request asks for, and the notification
// settings the user chose. Every value is the platform's own integer, so
// callers may pass them on as numbers unchanged.
//
// AuthorizationStatus: 0 not determined (the user was never asked), 1 denied,
// 2 authorised, 3 provisional (quiet delivery without asking), 4 ephemeral.
// AuthorizationOptions (bits): badge 1, sound 2, alert 4.
// NotificationSetting: 0 not supported, 1 disabled, 2 enabled.
// AlertStyle: 0 none, 1 banner, 2 alert.
// ShowPreviewsSetting: 0 always, 1 when authenticated, 2 never.
//
// NotificationSettings holds the nine values a settings query answers.
//
// Thread safety: plain values.

#include <cstdint>

namespace quorvane::platform::notifications {

enum class AuthorizationStatus : int {
  kNotDetermined = 0,
  kDenied = 1,
  kAuthorized = 2,
  kProvisional = 3,
  kEphemeral = 4,
};

using AuthorizationOptions = std::uint64_t;
inline constexpr AuthorizationOptions kAuthorizationOptionBadge = 1;
inline constexpr AuthorizationOptions kAuthorizationOptionSound = 2;
inline constexpr AuthorizationOptions kAuthorizationOptionAlert = 4;

enum class NotificationSetting : int {
  kNotSupported = 0,
  kDisabled = 1,
  kEnabled = 2,
};

enum class AlertStyle : int {
  kNone = 0,
  kBanner = 1,
  kAlert = 2,
};

enum class ShowPreviewsSetting : int {
  kAlways = 0,
  kWhenAuthenticated = 1,
  kNever = 2,
};

struct NotificationSettings {
  AuthorizationStatus authorizationStatus = AuthorizationStatus::kNotDetermined;
  NotificationSetting notificationCenterSetting = NotificationSetting::kNotSupported;
  NotificationSetting lockScreenSetting = NotificationSetting::kNotSupported;
  NotificationSetting alertSetting = NotificationSetting::kNotSupported;
  NotificationSetting badgeSetting = NotificationSetting::kNotSupported;
  NotificationSetting soundSetting = NotificationSetting::kNotSupported;
  NotificationSetting criticalAlertSetting = NotificationSetting::kNotSupported;
  AlertStyle alertStyle = AlertStyle::kNone;
  ShowPreviewsSetting showPreviewsSetting = ShowPreviewsSetting::kAlways;

  bool operator==(const NotificationSettings&) const = default;
};

}  // namespace quorvane::platform::notifications
