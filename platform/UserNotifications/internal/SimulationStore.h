#pragma once

// SimulationStore: the simulated centre's state behind one mutex: the
// situation (Situation.h), the delegate, the installed categories, the
// delivered notifications and the records the control functions read.
// Every method applies one rule of the simulated platform (the rules are
// documented in simulated/SimulatedNotificationCenter.h) atomically and
// returns what the centre then answers on a lane, and the identifiers of the
// notifications it took off show (one per notification), for the centre to
// report to the delegate.
//
// Thread safety: every method may be called from any thread, concurrently.
// The mutex is never held while calling out (delegates, completions).

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/UserNotifications/NotificationCenter.h"
#include "platform/UserNotifications/internal/Situation.h"
#include "platform/UserNotifications/simulated/DeliveredNotification.h"
#include "platform/UserNotifications/simulated/SimulationOptions.h"
#include "platform/UserNotifications/simulated/UserResponse.h"

namespace quorvane::platform::notifications::internal {

struct AuthorizationAnswer {
  bool granted = false;
  std::optional<PlatformError> error;
};

struct AddAnswer {
  std::optional<PlatformError> error;
  // Whether a notification with the same identifier was on show and gave way.
  bool replacedOne = false;
};

class SimulationStore {
 public:
  void configure(const SimulationOptions& options);
  // Returns the identifiers of what was on show.
  std::vector<std::string> reset();

  void setDelegate(std::shared_ptr<NotificationCenterDelegate> delegate);
  std::shared_ptr<NotificationCenterDelegate> delegate() const;
  void setCategories(std::vector<NotificationCategory> categories);
  std::vector<NotificationCategory> categories() const;

  // Delivers `request`, or answers the error that refuses it.
  AddAnswer add(const NotificationRequest& request);
  // remove and removeAll return the identifiers of what they took off show.
  std::vector<std::string> remove(const std::vector<std::string>& identifiers);
  std::vector<std::string> removeAll();
  std::vector<DeliveredNotification> delivered() const;

  NotificationSettings settings() const;
  AuthorizationAnswer requestAuthorization(AuthorizationOptions options);
  std::vector<AuthorizationOptions> authorizationRequests() const;
  OperatingSystemVersion osVersion() const;

  // The responses the user gives, checked against what is delivered and
  // installed; throws std::invalid_argument for the first that does not fit.
  std::vector<std::vector<NotificationResponse>> responses(
      const std::vector<std::vector<AddressedResponse>>& batches) const;

  void recordPresentation(Presentation presentation);
  std::vector<Presentation> presentations() const;
  void recordAcknowledgement();
  std::uint64_t acknowledgedResponses() const;

 private:
  NotificationResponse response(const AddressedResponse& addressed) const;
  std::vector<std::string> takeAllLocked();
  const NotificationAction& installedAction(const std::string& identifier) const;

  mutable std::mutex mutex_;
  Situation situation_ = defaultSituation();
  std::shared_ptr<NotificationCenterDelegate> delegate_;
  std::vector<NotificationCategory> categories_;
  // Delivered notifications in delivery order, and each one's place by
  // identifier: floods of deliveries and responses cost no scans.
  std::list<NotificationRequest> delivered_;
  std::unordered_map<std::string, std::list<NotificationRequest>::iterator> deliveredById_;
  std::vector<AuthorizationOptions> authorizationRequests_;
  std::vector<Presentation> presentations_;
  std::uint64_t acknowledgedResponses_ = 0;
};

}  // namespace quorvane::platform::notifications::internal
