#include "platform/UserNotifications/internal/CheckedSimulationOptions.h"

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorvane::platform::notifications::internal {

namespace {

constexpr const char* kStatusValues =
    "0 (not determined), 1 (denied), 2 (authorized), 3 (provisional) or 4 (ephemeral)";
constexpr const char* kSettingValues = "0 (not supported), 1 (disabled) or 2 (enabled)";
constexpr const char* kAlertStyleValues = "0 (none), 1 (banner) or 2 (alert)";
constexpr const char* kPreviewValues = "0 (always), 1 (when authenticated) or 2 (never)";
constexpr int kLastStatus = static_cast<int>(AuthorizationStatus::kEphemeral);
constexpr int kLastSetting = static_cast<int>(NotificationSetting::kEnabled);
constexpr int kLastAlertStyle = static_cast<int>(AlertStyle::kAlert);
constexpr int kLastPreview = static_cast<int>(ShowPreviewsSetting::kNever);

// One of the nine settings: its name, its largest value (the smallest is 0),
// the accepted values in words, and how to store it.
struct SettingField {
  std::string_view name;
  int last;
  const char* values;
  void (*assign)(NotificationSettings&, int);
};

template <typename Enum, Enum NotificationSettings::*field>
void assignSetting(NotificationSettings& settings, int value) {
  settings.*field = static_cast<Enum>(value);
}

using S = NotificationSettings;
constexpr std::array<SettingField, 9> kSettingFields{{
    {"alertSetting", kLastSetting, kSettingValues,
     assignSetting<NotificationSetting, &S::alertSetting>},
    {"alertStyle", kLastAlertStyle, kAlertStyleValues, assignSetting<AlertStyle, &S::alertStyle>},
    {"authorizationStatus", kLastStatus, kStatusValues,
     assignSetting<AuthorizationStatus, &S::authorizationStatus>},
    {"badgeSetting", kLastSetting, kSettingValues,
     assignSetting<NotificationSetting, &S::badgeSetting>},
    {"criticalAlertSetting", kLastSetting, kSettingValues,
     assignSetting<NotificationSetting, &S::criticalAlertSetting>},
    {"lockScreenSetting", kLastSetting, kSettingValues,
     assignSetting<NotificationSetting, &S::lockScreenSetting>},
    {"notificationCenterSetting", kLastSetting, kSettingValues,
     assignSetting<NotificationSetting, &S::notificationCenterSetting>},
    {"showPreviewsSetting", kLastPreview, kPreviewValues,
     assignSetting<ShowPreviewsSetting, &S::showPreviewsSetting>},
    {"soundSetting", kLastSetting, kSettingValues,
     assignSetting<NotificationSetting, &S::soundSetting>},
}};

const SettingField& settingNamed(const std::string& name) {
  for (const SettingField& field : kSettingFields) {
    if (field.name == name) {
      return field;
    }
  }
  std::string names;
  for (const SettingField& field : kSettingFields) {
    names += (names.empty() ? "" : ", ") + std::string(field.name);
  }
  throw std::invalid_argument("settings has no value named \"" + name + "\"; the names are " +
                              names);
}

int checkedValue(const std::string& option, std::int64_t value, int last, const char* values) {
  if (value < 0 || value > last) {
    throw std::invalid_argument(option + " is " + std::to_string(value) + ": expected " + values);
  }
  return static_cast<int>(value);
}

}  // namespace

CheckedSimulationOptions CheckedSimulationOptions::check(const SimulationOptions& options) {
  CheckedSimulationOptions checked;
  if (options.osVersion) {
    try {
      checked.osVersion_ = parseOperatingSystemVersion(*options.osVersion);
    } catch (const std::invalid_argument& ex) {
      throw std::invalid_argument(std::string("osVersion: ") + ex.what());
    }
  }
  for (const auto& [name, value] : options.settings) {
    const SettingField& field = settingNamed(name);
    checked.settings_.emplace_back(
        field.assign, checkedValue("settings." + name, value, field.last, field.values));
  }
  if (options.authorizationStatus) {
    const int status = checkedValue("authorizationStatus", *options.authorizationStatus,
                                    kLastStatus, kStatusValues);
    checked.settings_.emplace_back(assignSetting<AuthorizationStatus, &S::authorizationStatus>,
                                   status);
  }
  checked.grant_ = options.grant;
  checked.authorizationError_ = options.authorizationError;
  checked.addError_ = options.addError;
  return checked;
}

void CheckedSimulationOptions::applyTo(Situation& situation) const {
  if (osVersion_) {
    situation.osVersion = *osVersion_;
  }
  if (grant_) {
    situation.grant = *grant_;
  }
  if (authorizationError_) {
    situation.authorizationError = *authorizationError_;
  }
  if (addError_) {
    situation.addError = *addError_;
  }
  for (const auto& [assign, value] : settings_) {
    assign(situation.settings, value);
  }
}

}  // namespace quorvane::platform::notifications::internal
