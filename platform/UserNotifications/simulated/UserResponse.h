#pragma once

// UserResponse: how the simulated user answers a delivered notification
// (SimulatedNotificationCenter::respond).
//
// - action kClickAction ("default"): the notification itself is clicked; no
//   text. The delegate sees kDefaultActionIdentifier.
// - any other action: the identifier of an action of an installed category
//   ("ANSWER_CALL", "REPLY"). A text-input action needs `text` (the typed
//   reply); a plain action takes none.
//
// AddressedResponse: a response together with the identifier of the delivered
// notification it answers (SimulatedNotificationCenter::respondMany).
//
// Thread safety: plain values.

#include <optional>
#include <string>

namespace quorvane::platform::notifications {

inline constexpr const char* kClickAction = "default";

struct UserResponse {
  std::string action;
  std::optional<std::string> text;
};

struct AddressedResponse {
  std::string identifier;
  UserResponse response;
};

}  // namespace quorvane::platform::notifications
