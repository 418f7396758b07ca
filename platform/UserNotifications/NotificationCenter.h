#pragma once

// NotificationCenter: the system's notification centre as the application
// sees it (one per process): delegate, categories, adding and removing
// notifications, authorisation and settings.
//
// Asynchronous answers. addNotificationRequest, getNotificationSettings and
// requestAuthorization answer through a completion. A centre calls each
// completion exactly once, on one of its own threads, after the starting call
// has returned (never inside it, never on the caller's thread), unless the
// centre shuts down first: completions still queued then are destroyed without
// being called. An empty std::function means the caller wants no answer.
// Completions run without any lock of the centre held and may call into the
// centre again.
//
// The other calls take effect before they return.
//
// Rules every centre follows:
// - setDelegate: the centre keeps the delegate (shared ownership) and calls it
//   on its threads (NotificationCenterDelegate.h); null removes it.
// - setNotificationCategories replaces the whole installed set.
// - addNotificationRequest: delivers the notification, replacing a delivered
//   one with the same identifier; on failure the completion gets the error
//   (notificationsNotAllowedError() while the application is not authorised)
//   and nothing is delivered.
// - removeDeliveredNotifications removes the delivered notifications whose
//   identifiers are listed (unknown identifiers are ignored);
//   removeAllDeliveredNotifications removes every one.
// - Whatever ends a delivered notification's time on show (a removal, a
//   replacement, an answer where the centre takes answered notifications away,
//   the system or the user closing it) is reported to the delegate
//   (NotificationCenterDelegate::didRemoveDeliveredNotifications), once per
//   notification.
// - getNotificationSettings answers the nine settings, authorisation status
//   included.
// - requestAuthorization asks the user only while the status is not
//   determined; otherwise it answers from the status (granted when authorised,
//   provisional or ephemeral) without asking. The completion gets (granted,
//   error); an error comes with granted false.
// - operatingSystemVersion: the system version the centre stands for
//   (OperatingSystemVersion.h).
//
// The current centre. currentNotificationCenter() answers the process's centre:
// the one last given to setCurrentNotificationCenter, else the default one,
// made on first use: on Linux the desktop's notification service on the
// session bus (dbus/DbusNotificationCenter.h), elsewhere the shared simulated
// centre (simulated/SimulatedNotificationCenter.h). setCurrentNotificationCenter
// returns the centre set before (null when none was, the default being in
// use); null brings the default back. A caller that holds the returned pointer
// keeps that centre alive even after it has been replaced.
//
// Thread safety: every function and method may be called from any thread,
// concurrently.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/UserNotifications/Export.h"
#include "platform/UserNotifications/NotificationCategory.h"
#include "platform/UserNotifications/NotificationCenterDelegate.h"
#include "platform/UserNotifications/NotificationRequest.h"
#include "platform/UserNotifications/NotificationSettings.h"
#include "platform/UserNotifications/OperatingSystemVersion.h"
#include "platform/UserNotifications/PlatformError.h"

namespace quorvane::platform::notifications {

using AddCompletion = std::function<void(std::optional<PlatformError> error)>;
using SettingsCompletion = std::function<void(NotificationSettings settings)>;
using AuthorizationCompletion =
    std::function<void(bool granted, std::optional<PlatformError> error)>;

class QUORVANE_USERNOTIFICATIONS_API NotificationCenter {
 public:
  virtual ~NotificationCenter();

  virtual void setDelegate(std::shared_ptr<NotificationCenterDelegate> delegate) = 0;
  virtual std::shared_ptr<NotificationCenterDelegate> delegate() const = 0;

  virtual void setNotificationCategories(std::vector<NotificationCategory> categories) = 0;

  virtual void addNotificationRequest(NotificationRequest request, AddCompletion completion) = 0;
  virtual void removeDeliveredNotifications(const std::vector<std::string>& identifiers) = 0;
  virtual void removeAllDeliveredNotifications() = 0;

  virtual void getNotificationSettings(SettingsCompletion completion) = 0;
  virtual void requestAuthorization(AuthorizationOptions options,
                                    AuthorizationCompletion completion) = 0;

  virtual OperatingSystemVersion operatingSystemVersion() const = 0;
};

QUORVANE_USERNOTIFICATIONS_API std::shared_ptr<NotificationCenter> currentNotificationCenter();

QUORVANE_USERNOTIFICATIONS_API std::shared_ptr<NotificationCenter> setCurrentNotificationCenter(
    std::shared_ptr<NotificationCenter> center);

}  // namespace quorvane::platform::notifications
