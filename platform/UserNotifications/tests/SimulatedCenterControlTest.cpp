// The control functions: configure with any subset of options, its checks,
// and reset.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "common/utilities/testing/ErrorText.h"
#include "platform/UserNotifications/tests/SimulatedCenterTestSupport.h"

namespace quorvane::platform::notifications::test {
namespace {

using quorvane::test::errorText;
using ::testing::IsEmpty;

using ControlTest = SimulatedCenterTest;

TEST_F(ControlTest, SettingsAreConfiguredByName) {
  center_->configure({.settings = {{"alertSetting", 1},
                                   {"alertStyle", 2},
                                   {"authorizationStatus", 3},
                                   {"badgeSetting", 0},
                                   {"criticalAlertSetting", 2},
                                   {"lockScreenSetting", 1},
                                   {"notificationCenterSetting", 0},
                                   {"showPreviewsSetting", 1},
                                   {"soundSetting", 1}}});
  const NotificationSettings expected{
      AuthorizationStatus::kProvisional,      NotificationSetting::kNotSupported,
      NotificationSetting::kDisabled,         NotificationSetting::kDisabled,
      NotificationSetting::kNotSupported,     NotificationSetting::kDisabled,
      NotificationSetting::kEnabled,          AlertStyle::kAlert,
      ShowPreviewsSetting::kWhenAuthenticated};
  EXPECT_EQ(settings(), expected);

  // Only what is named changes; the top-level status wins over the setting.
  center_->configure({.authorizationStatus = 1, .settings = {{"authorizationStatus", 2}}});
  NotificationSettings denied = expected;
  denied.authorizationStatus = AuthorizationStatus::kDenied;
  EXPECT_EQ(settings(), denied);
}

TEST_F(ControlTest, BadOptionsAreRefusedWithAClearErrorAndChangeNothing) {
  struct Case {
    SimulationOptions options;
    const char* error;
  };
  const std::string settingNames =
      "alertSetting, alertStyle, authorizationStatus, badgeSetting, criticalAlertSetting, "
      "lockScreenSetting, notificationCenterSetting, showPreviewsSetting, soundSetting";
  const Case cases[] = {
      {{.osVersion = "10.14beta"},
       "osVersion: \"10.14beta\" is not an operating-system version: expected up to three decimal "
       "numbers separated by dots, such as \"10.14\" or \"10.14.6\""},
      {{.authorizationStatus = 5},
       "authorizationStatus is 5: expected 0 (not determined), 1 (denied), 2 (authorized), 3 "
       "(provisional) or 4 (ephemeral)"},
      {{.authorizationStatus = -1},
       "authorizationStatus is -1: expected 0 (not determined), 1 (denied), 2 (authorized), 3 "
       "(provisional) or 4 (ephemeral)"},
      {{.settings = {{"alertStyle", 3}}},
       "settings.alertStyle is 3: expected 0 (none), 1 (banner) or 2 (alert)"},
      {{.settings = {{"showPreviewsSetting", 4294967296}}},
       "settings.showPreviewsSetting is 4294967296: expected 0 (always), 1 (when authenticated) "
       "or 2 (never)"},
      {{.settings = {{"soundSetting", 3}}},
       "settings.soundSetting is 3: expected 0 (not supported), 1 (disabled) or 2 (enabled)"},
      {{.settings = {{"carPlaySetting", 1}}}, nullptr},
  };
  const NotificationSettings before = settings();
  for (Case c : cases) {
    // Every case also carries valid changes, which must not be applied.
    c.options.grant = false;
    c.options.addError = PlatformError{"Sim", 1, "no"};
    if (!c.options.osVersion) {
      c.options.osVersion = "10.13";
    }
    const std::string expected =
        c.error ? std::string(c.error)
                : "settings has no value named \"carPlaySetting\"; the names are " + settingNames;
    EXPECT_EQ(errorText<std::invalid_argument>([&] { center_->configure(c.options); }), expected);
  }
  EXPECT_EQ(settings(), before);
  EXPECT_EQ(center_->operatingSystemVersion(), (OperatingSystemVersion{14, 0, 0}));
  EXPECT_EQ(requestAuthorization(kAuthorizationOptionBadge).first, true);
  EXPECT_EQ(add(request("a")), std::nullopt);
}

TEST_F(ControlTest, ResetBringsTheDefaultsBackAndKeepsTheDelegate) {
  const NotificationSettings fresh = settings();
  center_->setDelegate(delegate_);
  installCategories();
  center_->configure({.osVersion = "10.13",
                      .authorizationStatus = 2,
                      .grant = false,
                      .authorizationError = PlatformError{"Sim", 1, "no"},
                      .settings = {{"alertStyle", 2}}});
  add(request("a"));
  center_->respond("a", {"default", std::nullopt});
  delegate_->waitForResponses(1);
  requestAuthorization(kAuthorizationOptionBadge);
  center_->configure({.addError = PlatformError{"Sim", 2, "no"}});
  center_->waitUntilIdle();

  center_->reset();
  EXPECT_EQ(settings(), fresh);
  EXPECT_EQ(center_->operatingSystemVersion(), (OperatingSystemVersion{14, 0, 0}));
  EXPECT_THAT(center_->delivered(), IsEmpty());
  EXPECT_THAT(center_->categories(), IsEmpty());
  EXPECT_THAT(center_->authorizationRequests(), IsEmpty());
  EXPECT_THAT(center_->presentations(), IsEmpty());
  EXPECT_EQ(center_->acknowledgedResponses(), 0u);
  EXPECT_EQ(center_->delegate(), delegate_);
  // grant true and no errors again: the user is asked and allows, add works.
  EXPECT_EQ(requestAuthorization(kAuthorizationOptionBadge),
            std::make_pair(true, std::optional<PlatformError>()));
  EXPECT_EQ(add(request("b")), std::nullopt);
}

}  // namespace
}  // namespace quorvane::platform::notifications::test
