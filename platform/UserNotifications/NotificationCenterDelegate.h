#pragma once

// NotificationCenterDelegate: what the application implements to hear from
// the notification centre. The centre calls it on one of its own threads,
// never on the caller's thread and never inside a call into the centre.
//
// willPresentNotification: a notification of this application is about to be
// shown while the application runs. Call `completion` with the presentation
// options (bits: badge 1, sound 2, alert 4) that say how to show it; 0 shows
// nothing.
//
// didReceiveNotificationResponse: the user answered a notification (clicked
// it, chose an action, typed a reply). Call `completion` once the response has
// been taken in.
//
// Completions: each may be called once, from any thread, now or later; a
// second call is ignored. A completion that is never called leaves the
// centre's record of that presentation or response empty.
//
// Ownership: the centre keeps the delegate it is given (shared ownership) for
// as long as it is set, so a call in progress always has a live delegate. The
// application's delegate is made once and lives for the process.
//
// Errors: an exception thrown by a delegate method is caught on the centre's
// thread and reported on standard error; the centre carries on.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/UserNotifications/Export.h"
#include "platform/UserNotifications/NotificationRequest.h"
#include "platform/UserNotifications/NotificationResponse.h"

namespace quorvane::platform::notifications {

class NotificationCenter;

using PresentationOptions = std::uint64_t;
inline constexpr PresentationOptions kPresentationOptionBadge = 1;
inline constexpr PresentationOptions kPresentationOptionSound = 2;
inline constexpr PresentationOptions kPresentationOptionAlert = 4;

using PresentationCompletion = std::function<void(PresentationOptions options)>;
using ResponseCompletion = std::function<void()>;

class QUORVANE_USERNOTIFICATIONS_API NotificationCenterDelegate {
 public:
  virtual ~NotificationCenterDelegate();

  virtual void willPresentNotification(NotificationCenter& center,
                                       const NotificationRequest& notification,
                                       PresentationCompletion completion) = 0;

  virtual void didReceiveNotificationResponse(NotificationCenter& center,
                                              const NotificationResponse& response,
                                              ResponseCompletion completion) = 0;

  virtual void didRemoveDeliveredNotifications(NotificationCenter& center,
                                               const std::vector<std::string>& identifiers);
};

}  // namespace quorvane::platform::notifications
