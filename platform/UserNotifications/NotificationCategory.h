#pragma once

// Categories and their actions: the buttons and text fields a notification
// offers. A request names its category by identifier (NotificationRequest.h);
// the centre holds the installed set (NotificationCenter::setNotificationCategories).
//
// NotificationAction: an identifier (what a response reports), a title, the
// platform's option bits (authentication required 1, destructive 2,
// foreground 4) and its kind: a plain button, or a text-input action whose
// response carries the text the user typed.
//
// NotificationCategory: an identifier and its actions, in order.
//
// Thread safety: plain values.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quorvane::platform::notifications {

using ActionOptions = std::uint64_t;
inline constexpr ActionOptions kActionOptionAuthenticationRequired = 1;
inline constexpr ActionOptions kActionOptionDestructive = 2;
inline constexpr ActionOptions kActionOptionForeground = 4;

struct NotificationAction {
  enum class Kind { kPlain, kTextInput };

  std::string identifier;
  std::string title;
  ActionOptions options = 0;
  Kind kind = Kind::kPlain;

  static NotificationAction plain(std::string identifier, std::string title,
                                  ActionOptions options) {
    return NotificationAction{std::move(identifier), std::move(title), options, Kind::kPlain};
  }
  static NotificationAction textInput(std::string identifier, std::string title,
                                      ActionOptions options) {
    return NotificationAction{std::move(identifier), std::move(title), options, Kind::kTextInput};
  }

  bool isTextInput() const { return kind == Kind::kTextInput; }
  bool operator==(const NotificationAction&) const = default;
};

struct NotificationCategory {
  std::string identifier;
  std::vector<NotificationAction> actions;

  bool operator==(const NotificationCategory&) const = default;
};

}  // namespace quorvane::platform::notifications
