#pragma once

// PlatformError: an error the notification centre reports, reduced to what its
// callers read of the platform's error object: domain, code and description.
//
// domainCodeDescription(): domain + " (" + code + ") - " + description, the
// text callers format with "%@ (%ld) - %@" from the three parts.
//
// objectDescription(): what the platform's format "%@" makes of the error
// object itself: Error Domain=<domain> Code=<code> "<description>". The
// platform appends a dump of the error's user info to it; errors here carry
// none, so that part is never there.
//
// notificationsNotAllowedError(): the error with which a centre refuses to add
// a request while the application is not authorised to show notifications:
// domain "UNErrorDomain", code 1, "Notifications are not allowed for this
// application".
//
// Thread safety: a plain value.

#include <string>

#include "platform/UserNotifications/Export.h"

namespace quorvane::platform::notifications {

inline constexpr const char* kUserNotificationsErrorDomain = "UNErrorDomain";
inline constexpr long kErrorCodeNotificationsNotAllowed = 1;

struct QUORVANE_USERNOTIFICATIONS_API PlatformError {
  std::string domain;
  long code = 0;
  std::string description;

  std::string domainCodeDescription() const;
  std::string objectDescription() const;

  bool operator==(const PlatformError&) const = default;
};

QUORVANE_USERNOTIFICATIONS_API PlatformError notificationsNotAllowedError();

}  // namespace quorvane::platform::notifications
