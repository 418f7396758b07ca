#pragma once

// DbusNotificationCenter: the notification centre of a Linux desktop, the
// freedesktop notification service (org.freedesktop.Notifications) on the
// session bus, reached with sd-bus. One shared instance (shared()) is the
// process's default centre on Linux (NotificationCenter.h); loading the
// simulated centre's control module installs the simulated centre instead.
//
// What the layer's calls become (docs/architecture.md lists it in full):
// - addNotificationRequest: Notify, with the application name, the title as
//   summary, subtitle and body as the body, a "default" action so that a
//   click is reported, the category's buttons, the "inline-reply" action for
//   its text input when the server offers inline replies, and a sound hint.
//   The request identifier is kept with the server's id: adding the same
//   identifier again replaces that notification. Errors: with no service,
//   notificationsNotAllowedError(); otherwise the D-Bus error, its name as
//   domain, the errno sd-bus maps it to as code, its message as description.
// - removeDeliveredNotifications / removeAllDeliveredNotifications:
//   CloseNotification for each notification those identifiers show.
// - ActionInvoked ("default" or a button) and NotificationReplied (the typed
//   text) of the server reach the delegate as responses to the request.
// - Off show: the delegate hears (didRemoveDeliveredNotifications) of every
//   notification replaced, removed, closed by the server (NotificationClosed:
//   expired, dismissed, or taken away after the user acted on it; the
//   response comes first), or gone with the server or the connection.
// - Authorisation: the application counts as authorised while a server
//   answers GetCapabilities (within presenceTimeout), as denied otherwise (no
//   bus, nobody owning the name, no answer). Every getNotificationSettings
//   and requestAuthorization asks afresh, so a server that appears later is
//   found; requestAuthorization answers (present, no error) and never asks the
//   user. Settings follow the server's capabilities (sound, body, actions).
// - operatingSystemVersion: 14.0, the version whose centre offers everything
//   this one does, so callers use all of it.
// - The delegate is never asked willPresentNotification: a desktop server
//   shows every notification the same way, in front or not.
//
// Threads. A bus thread ("un_dbus_bus") owns the connection and does all bus
// I/O; the calls above only queue work for it and return at once (they never
// wait for the bus). Completions and delegate calls run on one thread of the
// centre's own ("un_dbus_cb0"), in the order the answers came, never inside
// the starting call. The connection is made by the first call that needs it
// and made again after it was lost; making the centre touches no bus.
//
// Completions: each is called exactly once, also when the connection dies
// before the answer (then with the error sd-bus reports, e.g.
// "org.freedesktop.DBus.Error.NoReply"), unless the centre shuts down first:
// work still queued or unanswered then is destroyed without being called.
// removal calls take effect on the bus after everything asked before them.
//
// waitUntilIdle() returns once every call made before has been answered and
// its completion has run (for tests and the demo); std::logic_error on one of
// the centre's threads.
//
// Shutdown. shutDown() (also run by the destructor and, for the shared
// instance, at process exit) stops the bus thread (closing the connection
// without waiting for the server) and then the completion thread, as the
// simulated centre does. The shared instance itself is never destroyed.
//
// Errors: a completion or delegate method that throws is caught on its thread
// and reported on standard error. The constructor throws std::system_error
// when a thread or the event loop cannot be made.
//
// Thread safety: every method may be called from any thread, concurrently.

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/UserNotifications/Export.h"
#include "platform/UserNotifications/NotificationCenter.h"

namespace quorvane::platform::notifications {

namespace internal {
class BusThread;
class DispatchLanes;
}  // namespace internal

class QUORVANE_USERNOTIFICATIONS_API DbusNotificationCenter final : public NotificationCenter {
 public:
  static constexpr const char* kDefaultApplicationName = "Kestro";
  static constexpr std::chrono::milliseconds kDefaultPresenceTimeout{5000};
  static constexpr std::chrono::milliseconds kDefaultCallTimeout{25000};

  struct Options {
    // A D-Bus address ("unix:path=..."); empty: the session bus.
    std::string busAddress;
    std::string applicationName = kDefaultApplicationName;
    std::chrono::milliseconds presenceTimeout = kDefaultPresenceTimeout;
    std::chrono::milliseconds callTimeout = kDefaultCallTimeout;
  };

  DbusNotificationCenter();
  explicit DbusNotificationCenter(Options options);
  ~DbusNotificationCenter() override;
  DbusNotificationCenter(const DbusNotificationCenter&) = delete;
  DbusNotificationCenter& operator=(const DbusNotificationCenter&) = delete;

  // The process's instance on the session bus, made on first use.
  static std::shared_ptr<DbusNotificationCenter> shared();

  void setDelegate(std::shared_ptr<NotificationCenterDelegate> delegate) override;
  std::shared_ptr<NotificationCenterDelegate> delegate() const override;
  void setNotificationCategories(std::vector<NotificationCategory> categories) override;
  void addNotificationRequest(NotificationRequest request, AddCompletion completion) override;
  void removeDeliveredNotifications(const std::vector<std::string>& identifiers) override;
  void removeAllDeliveredNotifications() override;
  void getNotificationSettings(SettingsCompletion completion) override;
  void requestAuthorization(AuthorizationOptions options,
                            AuthorizationCompletion completion) override;
  OperatingSystemVersion operatingSystemVersion() const override;

  void waitUntilIdle();
  void shutDown();

 private:
  void deliverResponse(NotificationResponse response);
  void reportOffShow(std::vector<std::string> identifiers);

  mutable std::mutex mutex_;
  std::shared_ptr<NotificationCenterDelegate> delegate_;
  std::vector<NotificationCategory> categories_;
  std::unique_ptr<internal::DispatchLanes> lanes_;
  std::unique_ptr<internal::BusThread> bus_;
};

}  // namespace quorvane::platform::notifications
