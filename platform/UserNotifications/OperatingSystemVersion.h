#pragma once

// The operating-system version test: is the running system at least a given
// version? The addon decides with it whether the notification centre may be
// used at all and whether delivery asks for authorisation first.
//
// OperatingSystemVersion: major, minor and patch numbers, compared in that
// order (10.14.6 is at least 10.14 and below 10.15; 14.0 is above both).
//
// parseOperatingSystemVersion(text): reads "<major>[.<minor>[.<patch>]]" with
// decimal numbers ("10.13", "10.14.6", "14.0"; missing parts are 0). Anything
// else (empty text, signs, spaces, empty or extra parts, numbers that do not
// fit a long) throws std::invalid_argument whose message quotes the text and
// says what was expected.
//
// currentOperatingSystemVersion() and isOperatingSystemAtLeastVersion(minimum)
// ask the current notification centre (NotificationCenter.h) which system it
// stands for: the simulated centre answers its configured version, the
// desktop's (D-Bus) centre 14.0, as it offers everything the newest systems'
// centres do.
//
// Thread safety: all functions may be called from any thread.

#include <compare>
#include <string_view>

#include "platform/UserNotifications/Export.h"

namespace quorvane::platform::notifications {

struct OperatingSystemVersion {
  long majorVersion = 0;
  long minorVersion = 0;
  long patchVersion = 0;

  auto operator<=>(const OperatingSystemVersion&) const = default;
};

QUORVANE_USERNOTIFICATIONS_API OperatingSystemVersion
parseOperatingSystemVersion(std::string_view text);

QUORVANE_USERNOTIFICATIONS_API OperatingSystemVersion currentOperatingSystemVersion();

QUORVANE_USERNOTIFICATIONS_API bool isOperatingSystemAtLeastVersion(
    const OperatingSystemVersion& minimum);

}  // namespace quorvane::platform::notifications
