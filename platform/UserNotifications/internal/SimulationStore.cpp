#include "platform/UserNotifications/internal/SimulationStore.h"

#include <stdexcept>
#include <utility>

#include "platform/UserNotifications/internal/CheckedSimulationOptions.h"

namespace quorvane::platform::notifications::internal {

namespace {

bool allowsNotifications(AuthorizationStatus status) {
  return status != AuthorizationStatus::kNotDetermined && status != AuthorizationStatus::kDenied;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

void SimulationStore::configure(const SimulationOptions& options) {
  const CheckedSimulationOptions checked = CheckedSimulationOptions::check(options);
  std::lock_guard<std::mutex> lock(mutex_);
  checked.applyTo(situation_);
}

std::vector<std::string> SimulationStore::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  situation_ = defaultSituation();
  categories_.clear();
  std::vector<std::string> removed = takeAllLocked();
  authorizationRequests_.clear();
  presentations_.clear();
  acknowledgedResponses_ = 0;
  return removed;
}

void SimulationStore::setDelegate(std::shared_ptr<NotificationCenterDelegate> delegate) {
  std::lock_guard<std::mutex> lock(mutex_);
  delegate_.swap(delegate);
  // The previous delegate is released after the lock, by `delegate`'s end.
}

std::shared_ptr<NotificationCenterDelegate> SimulationStore::delegate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return delegate_;
}

void SimulationStore::setCategories(std::vector<NotificationCategory> categories) {
  std::lock_guard<std::mutex> lock(mutex_);
  categories_ = std::move(categories);
}

std::vector<NotificationCategory> SimulationStore::categories() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return categories_;
}

AddAnswer SimulationStore::add(const NotificationRequest& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (situation_.addError) {
    return {situation_.addError};
  }
  if (!allowsNotifications(situation_.settings.authorizationStatus)) {
    return {notificationsNotAllowedError()};
  }
  auto [place, added] = deliveredById_.try_emplace(request.identifier);
  if (!added) {
    delivered_.erase(place->second);
  }
  place->second = delivered_.insert(delivered_.end(), request);
  return {std::nullopt, /*replacedOne=*/!added};
}

std::vector<std::string> SimulationStore::remove(const std::vector<std::string>& identifiers) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> removed;
  for (const std::string& identifier : identifiers) {
    if (auto place = deliveredById_.find(identifier); place != deliveredById_.end()) {
      delivered_.erase(place->second);
      deliveredById_.erase(place);
      removed.push_back(identifier);
    }
  }
  return removed;
}

std::vector<std::string> SimulationStore::removeAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  return takeAllLocked();
}

std::vector<std::string> SimulationStore::takeAllLocked() {
  std::vector<std::string> removed;
  removed.reserve(delivered_.size());
  for (const NotificationRequest& request : delivered_) {
    removed.push_back(request.identifier);
  }
  delivered_.clear();
  deliveredById_.clear();
  return removed;
}

std::vector<DeliveredNotification> SimulationStore::delivered() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<DeliveredNotification> records;
  records.reserve(delivered_.size());
  for (const NotificationRequest& request : delivered_) {
    records.push_back(DeliveredNotification::of(request));
  }
  return records;
}

NotificationSettings SimulationStore::settings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return situation_.settings;
}

AuthorizationAnswer SimulationStore::requestAuthorization(AuthorizationOptions options) {
  std::lock_guard<std::mutex> lock(mutex_);
  authorizationRequests_.push_back(options);
  if (situation_.authorizationError) {
    return AuthorizationAnswer{/*granted=*/false, situation_.authorizationError};
  }
  AuthorizationStatus& status = situation_.settings.authorizationStatus;
  if (status == AuthorizationStatus::kNotDetermined) {
    status = situation_.grant ? AuthorizationStatus::kAuthorized : AuthorizationStatus::kDenied;
  }
  return AuthorizationAnswer{allowsNotifications(status), std::nullopt};
}

std::vector<AuthorizationOptions> SimulationStore::authorizationRequests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return authorizationRequests_;
}

OperatingSystemVersion SimulationStore::osVersion() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return situation_.osVersion;
}

std::vector<std::vector<NotificationResponse>> SimulationStore::responses(
    const std::vector<std::vector<AddressedResponse>>& batches) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::vector<NotificationResponse>> responses(batches.size());
  for (std::size_t i = 0; i < batches.size(); ++i) {
    responses[i].reserve(batches[i].size());
    for (const AddressedResponse& addressed : batches[i]) {
      responses[i].push_back(response(addressed));
    }
  }
  return responses;
}

NotificationResponse SimulationStore::response(const AddressedResponse& addressed) const {
  const auto shown = deliveredById_.find(addressed.identifier);
  if (shown == deliveredById_.end()) {
    throw std::invalid_argument("no delivered notification has the identifier " +
                                quoted(addressed.identifier));
  }
  const UserResponse& answer = addressed.response;
  const bool click = answer.action == kClickAction;
  const bool textInput = !click && installedAction(answer.action).isTextInput();
  if (textInput && !answer.text) {
    throw std::invalid_argument("the action " + quoted(answer.action) +
                                " is a text input and needs a text");
  }
  if (!textInput && answer.text) {
    throw std::invalid_argument("the action " + quoted(answer.action) + " takes no text");
  }
  return NotificationResponse{*shown->second, click ? kDefaultActionIdentifier : answer.action,
                              answer.text};
}

const NotificationAction& SimulationStore::installedAction(const std::string& identifier) const {
  for (const NotificationCategory& category : categories_) {
    for (const NotificationAction& action : category.actions) {
      if (action.identifier == identifier) {
        return action;
      }
    }
  }
  throw std::invalid_argument("no installed category has the action " + quoted(identifier) +
                              " (and it is not \"default\", a click)");
}

void SimulationStore::recordPresentation(Presentation presentation) {
  std::lock_guard<std::mutex> lock(mutex_);
  presentations_.push_back(std::move(presentation));
}

std::vector<Presentation> SimulationStore::presentations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return presentations_;
}

void SimulationStore::recordAcknowledgement() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++acknowledgedResponses_;
}

std::uint64_t SimulationStore::acknowledgedResponses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return acknowledgedResponses_;
}

}  // namespace quorvane::platform::notifications::internal
