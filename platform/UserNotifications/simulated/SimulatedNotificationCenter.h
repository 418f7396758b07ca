#pragma once

// SimulatedNotificationCenter: a notification centre that behaves as the
// system's does, with a simulated user, for systems that have none and for
// tests. One shared instance serves the process (shared()); it is the default
// current centre where the desktop's is not built, and
// installSimulatedNotificationCenter() makes it the current one (the control
// module does so when loaded).
//
// Threads. The centre runs completions and delegate calls on a few threads of
// its own ("lanes", serial queues; kDefaultLaneCount unless the constructor
// is told otherwise), never on the calling thread and never inside the
// starting call. Each call's work goes to the next lane in turn, so
// consecutive calls are answered on different threads; one lane runs its work
// in the order it was queued. Nothing runs in order across lanes.
//
// Timing. The state changes when the call is made: once add,
// requestAuthorization, respond... return, delivered(), the status and the
// records show their effect. Only the answers travel later, on a lane.
//
// The platform's rules, as simulated:
// - requestAuthorization(options) records `options` (authorizationRequests()).
//   With an authorisation error configured, the completion gets (false, that
//   error) and the status stays. Otherwise, while the status is not
//   determined the user is asked: the status becomes authorised when `grant`
//   is true, else denied, and the completion gets (grant, no error). Any other
//   status answers (granted, no error) without asking, granted being true for
//   authorised, provisional and ephemeral.
// - addNotificationRequest: with an add error configured, fails with it.
//   Otherwise, while the status is not determined or denied, fails with
//   notificationsNotAllowedError() ("UNErrorDomain", 1, "Notifications are not
//   allowed for this application"), as the system refuses notifications of an
//   application the user has not allowed. Otherwise the notification is
//   delivered: a delivered one with the same identifier is removed and the new
//   one goes to the end (the newest last). After the completion, on the same
//   lane, a delegate that is set is asked willPresentNotification; the options
//   it answers are recorded (presentations()).
// - getNotificationSettings answers the user's settings with the current
//   authorisation status.
// - respond(identifier, response): the user answers the delivered notification
//   `identifier`; the delegate set when the lane runs the call gets
//   didReceiveNotificationResponse (with no delegate the response is dropped).
//   Its completion counts in acknowledgedResponses(). The notification stays
//   delivered (it may be answered again). Throws std::invalid_argument, before
//   anything is sent, when no notification with that identifier is delivered,
//   when the action is not kClickAction or the identifier of an action of an
//   installed category, or when the text does not fit the action
//   (UserResponse.h).
// - respondMany(batches): the same for many responses at once, all checked
//   before any is sent; batch i runs in order on lane i modulo the lane count.
// - Off show: every notification that a replacement, removeDelivered...,
//   removeAll... or reset() takes away is reported to the delegate set when
//   the lane runs the report (didRemoveDeliveredNotifications), one
//   identifier per notification; a replacement right after the add's
//   completion, on its lane.
//
// Control. configure(options) changes the situation (SimulationOptions.h); it
// checks everything first and throws std::invalid_argument, changing nothing,
// for a malformed osVersion, an integer out of its range or an unknown setting
// name. reset() brings back the defaults: version "14.0", status not
// determined, grant true, no errors, the settings of a freshly installed
// application whose user allowed notifications (notification centre, lock
// screen, alert, badge and sound enabled, critical alerts not supported,
// banner style, previews always), nothing delivered (what was is reported off
// show), no categories, no requests, presentations or acknowledgements
// recorded. The delegate and work already queued are kept.
//
// waitUntilIdle() returns once every lane has run everything queued, work
// queued meanwhile included. It throws std::logic_error when called on a lane
// (it would wait for itself).
//
// Shutdown. shutDown() (also run by the destructor and, for the shared
// instance, when the process exits) lets each lane finish the work it is
// running, destroys the queued work without running it, and joins the lanes;
// later work is destroyed at once on the calling thread, never run. A lane that
// shuts the centre down (say, by calling exit()) is let go instead of joined.
// The shared instance itself is never destroyed, so threads still calling it
// while the process exits find it intact. Completions handed to a delegate
// must not be called after their centre was destroyed (never an issue for the
// shared instance).
//
// Errors: a completion or delegate method that throws is caught on its lane
// and reported on standard error; the lane carries on.
//
// Thread safety: every method may be called from any thread, concurrently.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/UserNotifications/Export.h"
#include "platform/UserNotifications/NotificationCenter.h"
#include "platform/UserNotifications/simulated/DeliveredNotification.h"
#include "platform/UserNotifications/simulated/SimulationOptions.h"
#include "platform/UserNotifications/simulated/UserResponse.h"

namespace quorvane::platform::notifications {

namespace internal {
class DispatchLanes;
class SimulationStore;
}  // namespace internal

class QUORVANE_USERNOTIFICATIONS_API SimulatedNotificationCenter final : public NotificationCenter {
 public:
  static constexpr std::size_t kDefaultLaneCount = 3;

  // Throws std::invalid_argument for zero lanes, std::system_error when a
  // lane's thread cannot be started.
  explicit SimulatedNotificationCenter(std::size_t laneCount = kDefaultLaneCount);
  ~SimulatedNotificationCenter() override;
  SimulatedNotificationCenter(const SimulatedNotificationCenter&) = delete;
  SimulatedNotificationCenter& operator=(const SimulatedNotificationCenter&) = delete;

  static std::shared_ptr<SimulatedNotificationCenter> shared();

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

  void configure(const SimulationOptions& options);
  void reset();
  std::vector<DeliveredNotification> delivered() const;
  std::vector<NotificationCategory> categories() const;
  std::vector<AuthorizationOptions> authorizationRequests() const;
  std::vector<Presentation> presentations() const;
  std::uint64_t acknowledgedResponses() const;
  void respond(const std::string& identifier, const UserResponse& response);
  void respondMany(const std::vector<std::vector<AddressedResponse>>& batches);

  std::size_t laneCount() const;
  void waitUntilIdle();
  void shutDown();

 private:
  std::shared_ptr<internal::SimulationStore> store_;
  std::unique_ptr<internal::DispatchLanes> lanes_;
};

// Makes the shared simulated centre the current one and returns it.
QUORVANE_USERNOTIFICATIONS_API std::shared_ptr<SimulatedNotificationCenter>
installSimulatedNotificationCenter();

}  // namespace quorvane::platform::notifications
