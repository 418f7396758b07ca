#include "platform/UserNotifications/dbus/internal/NotifyMapping.h"

#include <algorithm>

#include "platform/UserNotifications/internal/Situation.h"

namespace quorvane::platform::notifications::internal {

namespace {

constexpr const char* kBodyMarkupCapability = "body-markup";
constexpr const char* kBodyCapability = "body";
constexpr const char* kActionsCapability = "actions";
constexpr const char* kSoundCapability = "sound";

// Error names with which the bus or sd-bus (not a server) answer when no
// server does; the first two when nobody owns the service's name.
constexpr std::string_view kNoServiceErrors[] = {
    "org.freedesktop.DBus.Error.ServiceUnknown", "org.freedesktop.DBus.Error.NameHasNoOwner",
    "org.freedesktop.DBus.Error.NoReply",        "org.freedesktop.DBus.Error.Timeout",
    "org.freedesktop.DBus.Error.TimedOut",       "org.freedesktop.DBus.Error.Disconnected",
    "org.freedesktop.DBus.Error.NoServer",
};
constexpr std::size_t kNoOwnerErrorCount = 2;

std::string bodyOf(const NotificationContent& content) {
  if (content.subtitle.empty()) {
    return content.body;
  }
  if (content.body.empty()) {
    return content.subtitle;
  }
  return content.subtitle + "\n" + content.body;
}

const NotificationAction* textInputAction(const std::optional<NotificationCategory>& category) {
  if (!category) {
    return nullptr;
  }
  const auto found = std::find_if(category->actions.begin(), category->actions.end(),
                                  [](const NotificationAction& a) { return a.isTextInput(); });
  return found != category->actions.end() ? &*found : nullptr;
}

NotificationSetting enabledIf(bool on) {
  return on ? NotificationSetting::kEnabled : NotificationSetting::kNotSupported;
}

}  // namespace

NotifyCall notifyCallFor(const Delivery& delivery, const ServerCapabilities& capabilities) {
  const NotificationContent& content = delivery.request.content;
  NotifyCall call;
  call.summary = content.title;
  call.body = bodyOf(content);
  if (capabilities.has(kBodyMarkupCapability)) {
    call.body = escapeMarkup(call.body);
  }
  call.actions.emplace_back(kDefaultActionKey, kDefaultActionLabel);
  if (delivery.category) {
    for (const NotificationAction& action : delivery.category->actions) {
      if (!action.isTextInput()) {
        call.actions.emplace_back(action.identifier, action.title);
      }
    }
  }
  const NotificationAction* reply = textInputAction(delivery.category);
  if (reply != nullptr && capabilities.has(kInlineReplyActionKey)) {
    call.actions.emplace_back(kInlineReplyActionKey, reply->title);
  }
  if (content.sound == NotificationSound::kNone) {
    call.suppressSound = true;
  } else {
    call.soundName = kMessageSoundName;
  }
  return call;
}

NotificationSettings settingsFor(const std::optional<ServerCapabilities>& server) {
  NotificationSettings settings;
  if (!server) {
    settings.authorizationStatus = AuthorizationStatus::kDenied;
    for (NotificationSetting* setting :
         {&settings.notificationCenterSetting, &settings.lockScreenSetting, &settings.alertSetting,
          &settings.badgeSetting, &settings.soundSetting}) {
      *setting = NotificationSetting::kDisabled;
    }
    settings.alertStyle = AlertStyle::kNone;
    return settings;
  }
  // What the capabilities say nothing about: as for an application the user
  // allowed.
  settings = defaultSituation().settings;
  settings.authorizationStatus = AuthorizationStatus::kAuthorized;
  settings.soundSetting = enabledIf(server->has(kSoundCapability));
  settings.alertStyle = server->has(kActionsCapability) ? AlertStyle::kAlert : AlertStyle::kBanner;
  settings.showPreviewsSetting =
      server->has(kBodyCapability) ? ShowPreviewsSetting::kAlways : ShowPreviewsSetting::kNever;
  return settings;
}

std::optional<NotificationResponse> responseToAction(const Delivery& delivery,
                                                     std::string_view actionKey) {
  if (actionKey == kDefaultActionKey) {
    return NotificationResponse{delivery.request, kDefaultActionIdentifier, std::nullopt};
  }
  if (!delivery.category) {
    return std::nullopt;
  }
  for (const NotificationAction& action : delivery.category->actions) {
    if (!action.isTextInput() && action.identifier == actionKey) {
      return NotificationResponse{delivery.request, action.identifier, std::nullopt};
    }
  }
  return std::nullopt;
}

std::optional<NotificationResponse> responseToReply(const Delivery& delivery,
                                                    std::string_view text) {
  const NotificationAction* reply = textInputAction(delivery.category);
  if (reply == nullptr) {
    return std::nullopt;
  }
  return NotificationResponse{delivery.request, reply->identifier, std::string(text)};
}

std::string escapeMarkup(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

bool isNoServiceError(std::string_view errorName) {
  return std::find(std::begin(kNoServiceErrors), std::end(kNoServiceErrors), errorName) !=
         std::end(kNoServiceErrors);
}

bool isNoOwnerError(std::string_view errorName) {
  const auto* end = std::begin(kNoServiceErrors) + kNoOwnerErrorCount;
  return std::find(std::begin(kNoServiceErrors), end, errorName) != end;
}

}  // namespace quorvane::platform::notifications::internal
