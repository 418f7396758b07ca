#pragma once

// What one notification shows, and the request that delivers it.
//
// NotificationContent: title, subtitle and body texts (empty when absent);
// the sound (the system's default sound, or none); user info, string entries
// that come back with every response to the notification; and the category
// identifier that selects its actions, empty when not set (no actions).
//
// NotificationRequest: an identifier and the content. There is no trigger: a
// request is delivered as soon as it is added. Adding a request whose
// identifier is already delivered replaces that notification, so the
// identifier is also what removal takes.
//
// Thread safety: plain values.

#include <map>
#include <string>

namespace quorvane::platform::notifications {

enum class NotificationSound { kNone, kDefault };

struct NotificationContent {
  std::string title;
  std::string subtitle;
  std::string body;
  NotificationSound sound = NotificationSound::kNone;
  std::map<std::string, std::string> userInfo;
  std::string categoryIdentifier;

  bool operator==(const NotificationContent&) const = default;
};

struct NotificationRequest {
  std::string identifier;
  NotificationContent content;

  bool operator==(const NotificationRequest&) const = default;
};

}  // namespace quorvane::platform::notifications
