#pragma once

// A fixture around one simulated centre of the test's own, with a recording
// delegate, and helpers that deliver and wait for the answers.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/UserNotifications/simulated/SimulatedNotificationCenter.h"
#include "platform/UserNotifications/testing/Answer.h"
#include "platform/UserNotifications/testing/RecordingDelegate.h"

namespace quorvane::platform::notifications::test {

class SimulatedCenterTest : public ::testing::Test {
 protected:
  static NotificationRequest request(const std::string& identifier,
                                     const std::string& title = "title") {
    NotificationRequest request{identifier, {}};
    request.content.title = title;
    request.content.userInfo = {{"notifID", "id-" + identifier}};
    return request;
  }

  // Adds `request` and waits for the completion's error.
  std::optional<PlatformError> add(NotificationRequest request) {
    Answer<std::optional<PlatformError>> answer;
    center_->addNotificationRequest(std::move(request), answer.completion());
    return std::get<0>(answer.wait());
  }

  std::pair<bool, std::optional<PlatformError>> requestAuthorization(AuthorizationOptions options) {
    Answer<bool, std::optional<PlatformError>> answer;
    center_->requestAuthorization(options, answer.completion());
    auto [granted, error] = answer.wait();
    return {granted, error};
  }

  NotificationSettings settings() {
    Answer<NotificationSettings> answer;
    center_->getNotificationSettings(answer.completion());
    return std::get<0>(answer.wait());
  }

  void authorize() { center_->configure({.authorizationStatus = 2}); }

  // Installs the two categories the application uses.
  void installCategories() {
    center_->setNotificationCategories(
        {{"INCOMING_CALL",
          {NotificationAction::plain("ANSWER_CALL", "Answer", kActionOptionForeground)}},
         {"GENERAL", {NotificationAction::textInput("REPLY", "Reply", 0)}}});
  }

  // The application set up as it runs: authorised, its categories installed,
  // the delegate set; then `request` delivered, for the user to answer.
  void deliverForResponses(const NotificationRequest& request) {
    authorize();
    installCategories();
    center_->setDelegate(delegate_);
    ASSERT_EQ(add(request), std::nullopt);
  }

  std::shared_ptr<SimulatedNotificationCenter> center_ =
      std::make_shared<SimulatedNotificationCenter>();
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
};

}  // namespace quorvane::platform::notifications::test
