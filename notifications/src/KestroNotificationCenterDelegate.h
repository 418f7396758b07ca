#pragma once

// KestroNotificationCenterDelegate: the application's delegate of the
// notification centre. One per process, made by sharedDelegate() on a system
// from 10.14 on, which makes it the current centre's delegate for good
// (platform/UserNotifications/NotificationCenter.h).
//
// - willPresentNotification answers alert, sound and badge (7), so
//   notifications show also while the application is in front.
// - didReceiveNotificationResponse turns each response of the user into a
//   call of the handler: a typed reply gives ("reply", notifID,
//   {reply: text}); anything else (a click, the "Answer" button) gives
//   ("activated", notifID, no data). A notification without "notifID" in its
//   user info gives "" as the id. With no handler set the response is
//   dropped. The completion is called in every case.
// - didRemoveDeliveredNotifications passes the identifiers of what went off
//   show to the removal handler, if one is set.
// - setNotificationCategories installs "INCOMING_CALL" with the plain action
//   "ANSWER_CALL" titled "Answer" (foreground), and "GENERAL" with the
//   text-input action "REPLY" titled as given; nothing below 10.14.
//
// Threads. The centre calls the delegate methods on its own threads, and the
// handlers are called on that thread: they must only hand their values on (the
// addon's schedules them for the JavaScript thread). setOnNotificationResponse
// and setOnNotificationsRemoved may be called from any thread; each waits for
// calls of the previous handler still running on other threads and destroys
// that handler on the calling thread (the addon calls it on the JavaScript thread, where the
// JavaScript references the handler holds must be released). sharedDelegate and isSupported may be
// called from any thread.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "platform/UserNotifications/NotificationCenterDelegate.h"

namespace quorvane::kestro::notifications {

// Categories, actions and keys shared by the delegate and delivery.
inline constexpr char kIncomingCallCategory[] = "INCOMING_CALL";
inline constexpr char kAnswerCallAction[] = "ANSWER_CALL";
inline constexpr char kAnswerCallTitle[] = "Answer";
inline constexpr char kGeneralCategory[] = "GENERAL";
inline constexpr char kReplyAction[] = "REPLY";
inline constexpr char kNotificationIdKey[] = "notifID";
inline constexpr char kReplyEvent[] = "reply";
inline constexpr char kActivatedEvent[] = "activated";

// The data of an event: string entries ({reply: text} for a typed reply).
using NotificationEventData = std::map<std::string, std::string>;
using NotificationResponseHandler = std::function<void(
    std::string event, std::string notificationId, std::optional<NotificationEventData> data)>;
using NotificationsRemovedHandler =
    std::function<void(const std::vector<std::string>& identifiers)>;

class KestroNotificationCenterDelegate final
    : public platform::notifications::NotificationCenterDelegate {
  struct Token {};

 public:
  explicit KestroNotificationCenterDelegate(Token) {}

  // The shared delegate, made on the first call on a system from 10.14 on
  // (thread-safe, once) and the current centre's delegate from then on; null
  // while the system is below 10.14.
  static std::shared_ptr<KestroNotificationCenterDelegate> sharedDelegate();
  // Whether the system is 10.14 or later.
  static bool isSupported();

  // Installs the two categories: "INCOMING_CALL" with the plain action
  // "ANSWER_CALL" titled "Answer" (foreground), and "GENERAL" with the
  // text-input action "REPLY" titled `replyTitle`. Nothing below 10.14.
  void setNotificationCategories(const std::string& replyTitle);

  // Replaces the handler (empty: none).
  void setOnNotificationResponse(NotificationResponseHandler handler);
  bool hasOnNotificationResponse() const;
  // Replaces the receiver of what goes off show (empty: none).
  void setOnNotificationsRemoved(NotificationsRemovedHandler handler);

  void willPresentNotification(platform::notifications::NotificationCenter& center,
                               const platform::notifications::NotificationRequest& notification,
                               platform::notifications::PresentationCompletion completion) override;
  void didReceiveNotificationResponse(
      platform::notifications::NotificationCenter& center,
      const platform::notifications::NotificationResponse& response,
      platform::notifications::ResponseCompletion completion) override;
  void didRemoveDeliveredNotifications(platform::notifications::NotificationCenter& center,
                                       const std::vector<std::string>& identifiers) override;

 private:
  // Held shared while a handler runs, exclusively while one is replaced.
  mutable std::shared_mutex handlerMutex_;
  NotificationResponseHandler onNotificationResponse_;
  NotificationsRemovedHandler onNotificationsRemoved_;
};

}  // namespace quorvane::kestro::notifications
