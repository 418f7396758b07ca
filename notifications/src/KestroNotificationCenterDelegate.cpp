#include "notifications/src/KestroNotificationCenterDelegate.h"

#include <mutex>
#include <utility>
#include <vector>

#include "platform/UserNotifications/NotificationCenter.h"

namespace quorvane::kestro::notifications {

namespace un = platform::notifications;

namespace {

constexpr un::OperatingSystemVersion kNotificationCenterMinimum{10, 14, 0};
constexpr un::PresentationOptions kPresentEverywhere =
    un::kPresentationOptionAlert | un::kPresentationOptionSound | un::kPresentationOptionBadge;

}  // namespace

std::shared_ptr<KestroNotificationCenterDelegate>
KestroNotificationCenterDelegate::sharedDelegate() {
  if (!isSupported()) {
    return nullptr;
  }
  // Made once, and never destroyed: the centre calls it from its own threads
  // until the process has gone.
  static auto* const shared = [] {
    auto delegate = std::make_shared<KestroNotificationCenterDelegate>(Token{});
    un::currentNotificationCenter()->setDelegate(delegate);
    return new std::shared_ptr<KestroNotificationCenterDelegate>(std::move(delegate));
  }();
  return *shared;
}

bool KestroNotificationCenterDelegate::isSupported() {
  return un::isOperatingSystemAtLeastVersion(kNotificationCenterMinimum);
}

void KestroNotificationCenterDelegate::setNotificationCategories(const std::string& replyTitle) {
  if (!isSupported()) {
    return;
  }
  std::vector<un::NotificationCategory> categories;
  categories.push_back({kIncomingCallCategory,
                        {un::NotificationAction::plain(kAnswerCallAction, kAnswerCallTitle,
                                                       un::kActionOptionForeground)}});
  categories.push_back({kGeneralCategory,
                        {un::NotificationAction::textInput(kReplyAction, replyTitle,
                                                           /*options=*/0)}});
  un::currentNotificationCenter()->setNotificationCategories(std::move(categories));
}

void KestroNotificationCenterDelegate::setOnNotificationResponse(
    NotificationResponseHandler handler) {
  {
    std::unique_lock lock(handlerMutex_);
    std::swap(onNotificationResponse_, handler);
  }
  // `handler` now holds the previous one, released here, on the calling
  // (JavaScript) thread, with no lock held.
}

void KestroNotificationCenterDelegate::setOnNotificationsRemoved(
    NotificationsRemovedHandler handler) {
  {
    std::unique_lock lock(handlerMutex_);
    std::swap(onNotificationsRemoved_, handler);
  }
  // The previous one is released here, with no lock held.
}

bool KestroNotificationCenterDelegate::hasOnNotificationResponse() const {
  std::shared_lock lock(handlerMutex_);
  return static_cast<bool>(onNotificationResponse_);
}

void KestroNotificationCenterDelegate::willPresentNotification(
    un::NotificationCenter&, const un::NotificationRequest&,
    un::PresentationCompletion completion) {
  completion(kPresentEverywhere);
}

void KestroNotificationCenterDelegate::didReceiveNotificationResponse(
    un::NotificationCenter&, const un::NotificationResponse& response,
    un::ResponseCompletion completion) {
  {
    std::shared_lock lock(handlerMutex_);
    if (onNotificationResponse_) {
      const auto& userInfo = response.request.content.userInfo;
      const auto id = userInfo.find(kNotificationIdKey);
      std::string notificationId = id == userInfo.end() ? std::string() : id->second;
      if (response.isTextInput()) {
        onNotificationResponse_(kReplyEvent, std::move(notificationId),
                                NotificationEventData{{kReplyEvent, *response.userText}});
      } else {
        onNotificationResponse_(kActivatedEvent, std::move(notificationId), std::nullopt);
      }
    }
  }
  completion();
}

void KestroNotificationCenterDelegate::didRemoveDeliveredNotifications(
    un::NotificationCenter&, const std::vector<std::string>& identifiers) {
  std::shared_lock lock(handlerMutex_);
  if (onNotificationsRemoved_) {
    onNotificationsRemoved_(identifiers);
  }
}

}  // namespace quorvane::kestro::notifications
