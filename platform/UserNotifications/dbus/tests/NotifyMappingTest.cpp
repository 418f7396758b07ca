// What a request becomes in a Notify call, what the server's capabilities make
// of the settings, and which response a server signal stands for.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/UserNotifications/dbus/internal/NotifyMapping.h"
#include "platform/UserNotifications/dbus/internal/SdBus.h"

namespace quorvane::platform::notifications::internal {
namespace {

using Actions = std::vector<std::pair<std::string, std::string>>;

const NotificationCategory kCallCategory{
    "INCOMING_CALL", {NotificationAction::plain("ANSWER_CALL", "Answer", kActionOptionForeground)}};
const NotificationCategory kReplyCategory{"GENERAL",
                                          {NotificationAction::textInput("REPLY", "Reply", 0)}};

Delivery delivery(std::optional<NotificationCategory> category = std::nullopt,
                  NotificationSound sound = NotificationSound::kNone) {
  NotificationRequest request{"group", {}};
  request.content = {"Title", "Sub", "a < b & c", sound, {{"notifID", "7"}}, ""};
  if (category) {
    request.content.categoryIdentifier = category->identifier;
  }
  return Delivery{request, category};
}

ServerCapabilities capabilities(std::initializer_list<const char*> names) {
  ServerCapabilities server;
  server.names.insert(names.begin(), names.end());
  return server;
}

TEST(NotifyMappingTest, ARequestBecomesANotifyCall) {
  struct Case {
    const char* what;
    Delivery delivery;
    ServerCapabilities server;
    std::string body;
    Actions actions;
  };
  const Actions click = {{"default", "Open"}};
  const Case cases[] = {
      {"plain server", delivery(), capabilities({}), "Sub\na < b & c", click},
      {"markup escaped", delivery(), capabilities({"body-markup"}), "Sub\na &lt; b &amp; c", click},
      {"a call's button",
       delivery(kCallCategory),
       capabilities({}),
       "Sub\na < b & c",
       {{"default", "Open"}, {"ANSWER_CALL", "Answer"}}},
      {"reply without inline replies", delivery(kReplyCategory), capabilities({"actions"}),
       "Sub\na < b & c", click},
      {"inline reply",
       delivery(kReplyCategory),
       capabilities({"inline-reply"}),
       "Sub\na < b & c",
       {{"default", "Open"}, {"inline-reply", "Reply"}}},
  };
  for (const Case& c : cases) {
    const NotifyCall call = notifyCallFor(c.delivery, c.server);
    EXPECT_EQ(call.summary, "Title") << c.what;
    EXPECT_EQ(call.body, c.body) << c.what;
    EXPECT_EQ(call.actions, c.actions) << c.what;
    EXPECT_EQ(call.expireTimeout, -1) << c.what;
  }
}

TEST(NotifyMappingTest, SubtitleAndBodyShareTheBodyAndSilenceSuppressesTheSound) {
  Delivery d = delivery();
  d.request.content.subtitle.clear();
  EXPECT_EQ(notifyCallFor(d, {}).body, "a < b & c");
  d.request.content.subtitle = "Sub";
  d.request.content.body.clear();
  EXPECT_EQ(notifyCallFor(d, {}).body, "Sub");

  const NotifyCall silent = notifyCallFor(delivery(), {});
  EXPECT_TRUE(silent.suppressSound);
  EXPECT_EQ(silent.soundName, "");
  const NotifyCall sounding =
      notifyCallFor(delivery(std::nullopt, NotificationSound::kDefault), {});
  EXPECT_FALSE(sounding.suppressSound);
  EXPECT_EQ(sounding.soundName, "message-new-instant");
}

TEST(NotifyMappingTest, SettingsFollowTheServer) {
  const NotificationSettings none = settingsFor(std::nullopt);
  EXPECT_EQ(none.authorizationStatus, AuthorizationStatus::kDenied);
  EXPECT_EQ(none.alertSetting, NotificationSetting::kDisabled);
  EXPECT_EQ(none.soundSetting, NotificationSetting::kDisabled);
  EXPECT_EQ(none.alertStyle, AlertStyle::kNone);

  const NotificationSettings bare = settingsFor(capabilities({}));
  const NotificationSettings full = settingsFor(capabilities({"actions", "body", "sound"}));
  for (const NotificationSettings& s : {bare, full}) {
    EXPECT_EQ(s.authorizationStatus, AuthorizationStatus::kAuthorized);
    EXPECT_EQ(s.notificationCenterSetting, NotificationSetting::kEnabled);
    EXPECT_EQ(s.lockScreenSetting, NotificationSetting::kEnabled);
    EXPECT_EQ(s.alertSetting, NotificationSetting::kEnabled);
    EXPECT_EQ(s.badgeSetting, NotificationSetting::kEnabled);
    EXPECT_EQ(s.criticalAlertSetting, NotificationSetting::kNotSupported);
  }
  EXPECT_EQ(bare.soundSetting, NotificationSetting::kNotSupported);
  EXPECT_EQ(full.soundSetting, NotificationSetting::kEnabled);
  EXPECT_EQ(bare.showPreviewsSetting, ShowPreviewsSetting::kNever);
  EXPECT_EQ(full.showPreviewsSetting, ShowPreviewsSetting::kAlways);
  EXPECT_EQ(bare.alertStyle, AlertStyle::kBanner);
  EXPECT_EQ(full.alertStyle, AlertStyle::kAlert);
}

TEST(NotifyMappingTest, SignalsBecomeResponsesOnlyForWhatWasOffered) {
  const Delivery call = delivery(kCallCategory);
  const Delivery reply = delivery(kReplyCategory);
  EXPECT_EQ(responseToAction(call, "default"),
            (NotificationResponse{call.request, kDefaultActionIdentifier, std::nullopt}));
  EXPECT_EQ(responseToAction(call, "ANSWER_CALL"),
            (NotificationResponse{call.request, "ANSWER_CALL", std::nullopt}));
  EXPECT_EQ(responseToReply(reply, "ok"), (NotificationResponse{reply.request, "REPLY", "ok"}));
  EXPECT_EQ(responseToAction(reply, "REPLY"), std::nullopt);
  EXPECT_EQ(responseToAction(delivery(), "ANSWER_CALL"), std::nullopt);
  EXPECT_EQ(responseToReply(call, "ok"), std::nullopt);
}

TEST(NotifyMappingTest, ErrorsTellNoServiceFromAServerThatAnswered) {
  EXPECT_TRUE(isNoOwnerError("org.freedesktop.DBus.Error.ServiceUnknown"));
  EXPECT_FALSE(isNoOwnerError("org.freedesktop.DBus.Error.NoReply"));
  EXPECT_TRUE(isNoServiceError("org.freedesktop.DBus.Error.NoReply"));
  EXPECT_FALSE(isNoServiceError("org.freedesktop.DBus.Error.UnknownMethod"));

  const sd_bus_error unknown = SD_BUS_ERROR_MAKE_CONST("org.example.Error.Full", "disk full");
  EXPECT_EQ(platformErrorOf(unknown), (PlatformError{"org.example.Error.Full", EIO, "disk full"}));
  const sd_bus_error noReply = SD_BUS_ERROR_MAKE_CONST(SD_BUS_ERROR_NO_REPLY, nullptr);
  EXPECT_EQ(platformErrorOf(noReply).code, ETIMEDOUT);
  EXPECT_EQ(platformErrorOf(noReply).description, "");
}

}  // namespace
}  // namespace quorvane::platform::notifications::internal
