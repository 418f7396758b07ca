#pragma once

// How the notification-centre layer maps onto the desktop's notification
// service (org.freedesktop.Notifications on the session bus):
//
// - notifyCallFor: the Notify call that shows a request. Summary = title;
//   body = subtitle and body joined by a line break (either alone when the
//   other is empty), with &, < and > escaped when the server reads the body as
//   markup ("body-markup"); actions = "default" (so that a click is reported),
//   then the plain actions of the request's category, then, for its
//   text-input action, "inline-reply" titled like the action, only when the
//   server lists "inline-reply"; sound = the hint "suppress-sound" for no
//   sound, else the sound named "message-new-instant"; the server's own expiry.
//   The caller fills in the application name and the id to replace.
// - settingsFor: the nine settings. With no service: denied, every setting
//   disabled, no alert style. With a service: authorised; sound enabled when
//   the server lists "sound", else not supported; previews always when it
//   lists "body", else never; alert style "alert" when it lists "actions"
//   (buttons stay offered), else banner; notification centre, lock screen,
//   alert and badge enabled, critical alerts not supported (as for an
//   application the user allowed).
// - responseToAction / responseToReply: the response an ActionInvoked or a
//   NotificationReplied signal stands for: "default" is the click
//   (kDefaultActionIdentifier), a plain action's key is that action, a reply
//   goes to the category's text-input action with its text. Keys the
//   delivery did not offer give no response.
// - isNoServiceError: whether a D-Bus error says that no notification service
//   answered (none on the bus, no reply in time, or the connection lost), as
//   opposed to an error the server answered with. isNoOwnerError: whether it
//   says that the bus has no owner of the service's name at all.
//
// Thread safety: functions of their arguments only.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/UserNotifications/NotificationCategory.h"
#include "platform/UserNotifications/NotificationRequest.h"
#include "platform/UserNotifications/NotificationResponse.h"
#include "platform/UserNotifications/NotificationSettings.h"

namespace quorvane::platform::notifications::internal {

inline constexpr const char* kServiceName = "org.freedesktop.Notifications";
inline constexpr const char* kServicePath = "/org/freedesktop/Notifications";
inline constexpr const char* kServiceInterface = "org.freedesktop.Notifications";

inline constexpr const char* kDefaultActionKey = "default";
inline constexpr const char* kDefaultActionLabel = "Open";
inline constexpr const char* kInlineReplyActionKey = "inline-reply";
inline constexpr const char* kSuppressSoundHint = "suppress-sound";
inline constexpr const char* kSoundNameHint = "sound-name";
inline constexpr const char* kMessageSoundName = "message-new-instant";
inline constexpr std::int32_t kServerChosenExpiry = -1;

struct ServerCapabilities {
  std::set<std::string, std::less<>> names;

  bool has(std::string_view name) const { return names.contains(name); }
};

// What was delivered: the request and the category it named, as installed
// when it was added (responses are read against it).
struct Delivery {
  NotificationRequest request;
  std::optional<NotificationCategory> category;
};

struct NotifyCall {
  std::string appName;
  std::uint32_t replacesId = 0;
  std::string summary;
  std::string body;
  std::vector<std::pair<std::string, std::string>> actions;  // (key, label)
  bool suppressSound = false;
  std::string soundName;  // empty: no sound hint
  std::int32_t expireTimeout = kServerChosenExpiry;

  bool operator==(const NotifyCall&) const = default;
};

NotifyCall notifyCallFor(const Delivery& delivery, const ServerCapabilities& capabilities);

NotificationSettings settingsFor(const std::optional<ServerCapabilities>& server);

std::optional<NotificationResponse> responseToAction(const Delivery& delivery,
                                                     std::string_view actionKey);
std::optional<NotificationResponse> responseToReply(const Delivery& delivery,
                                                    std::string_view text);

std::string escapeMarkup(std::string_view text);

bool isNoServiceError(std::string_view errorName);
bool isNoOwnerError(std::string_view errorName);

}  // namespace quorvane::platform::notifications::internal
