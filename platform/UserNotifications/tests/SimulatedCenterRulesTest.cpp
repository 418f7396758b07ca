// The platform's rules as the simulated centre applies them: authorisation,
// adding, replacing and removing (and reporting what went off show), settings,
// presentation and responses.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/utilities/testing/ErrorText.h"
#include "platform/UserNotifications/tests/SimulatedCenterTestSupport.h"

namespace quorvane::platform::notifications::test {
namespace {

using quorvane::test::errorText;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

std::vector<std::string> identifiers(const std::vector<DeliveredNotification>& delivered) {
  std::vector<std::string> names;
  for (const DeliveredNotification& notification : delivered) {
    names.push_back(notification.identifier);
  }
  return names;
}

using RulesTest = SimulatedCenterTest;

TEST_F(RulesTest, AuthorisationAsksOnlyWhileNotDetermined) {
  struct Case {
    int status;
    bool grant;
    bool granted;
    AuthorizationStatus after;
  };
  const Case cases[] = {
      {0, true, true, AuthorizationStatus::kAuthorized},
      {0, false, false, AuthorizationStatus::kDenied},
      {1, true, false, AuthorizationStatus::kDenied},
      {2, false, true, AuthorizationStatus::kAuthorized},
      {3, false, true, AuthorizationStatus::kProvisional},
      {4, false, true, AuthorizationStatus::kEphemeral},
  };
  for (const Case& c : cases) {
    center_->configure({.authorizationStatus = c.status, .grant = c.grant});
    auto [granted, error] = requestAuthorization(kAuthorizationOptionBadge);
    EXPECT_EQ(granted, c.granted) << "status " << c.status;
    EXPECT_EQ(error, std::nullopt);
    EXPECT_EQ(settings().authorizationStatus, c.after) << "status " << c.status;
  }
}

TEST_F(RulesTest, EveryAuthorisationRequestIsRecordedWithItsOptions) {
  requestAuthorization(kAuthorizationOptionAlert | kAuthorizationOptionSound |
                       kAuthorizationOptionBadge);
  center_->configure({.authorizationError = PlatformError{"Sim", 3, "broken"}});
  requestAuthorization(kAuthorizationOptionBadge);
  EXPECT_THAT(center_->authorizationRequests(), ElementsAre(7, 1));
}

TEST_F(RulesTest, AConfiguredAuthorisationErrorFailsTheRequestWithoutAsking) {
  const PlatformError error{"UNErrorDomain", 9, "Sim refused"};
  center_->configure({.authorizationError = error});
  EXPECT_EQ(requestAuthorization(kAuthorizationOptionBadge),
            std::make_pair(false, std::optional(error)));
  EXPECT_EQ(settings().authorizationStatus, AuthorizationStatus::kNotDetermined);

  center_->configure({.authorizationError = std::optional<PlatformError>()});
  EXPECT_EQ(requestAuthorization(kAuthorizationOptionBadge),
            std::make_pair(true, std::optional<PlatformError>()));
}

TEST_F(RulesTest, AddIsRefusedUntilTheUserAllowsNotifications) {
  for (int status : {0, 1}) {
    center_->configure({.authorizationStatus = status});
    EXPECT_EQ(add(request("a")), notificationsNotAllowedError()) << "status " << status;
  }
  EXPECT_THAT(center_->delivered(), IsEmpty());

  for (int status : {2, 3, 4}) {
    center_->configure({.authorizationStatus = status});
    EXPECT_EQ(add(request("a")), std::nullopt) << "status " << status;
  }
  EXPECT_THAT(identifiers(center_->delivered()), ElementsAre("a"));
}

TEST_F(RulesTest, AConfiguredAddErrorFailsEveryAddUntilCleared) {
  const PlatformError error{"UNErrorDomain", 2, "Sim could not add"};
  center_->configure({.addError = error});
  EXPECT_EQ(add(request("a")), error);
  authorize();
  EXPECT_EQ(add(request("a")), error);
  EXPECT_THAT(center_->delivered(), IsEmpty());

  center_->configure({.addError = std::optional<PlatformError>()});
  EXPECT_EQ(add(request("a")), std::nullopt);
  EXPECT_THAT(identifiers(center_->delivered()), ElementsAre("a"));
}

TEST_F(RulesTest, AddingADeliveredIdentifierReplacesItAtTheEnd) {
  authorize();
  for (const char* id : {"a", "b", "c"}) {
    add(request(id));
  }
  add(request("b", "newer"));
  const std::vector<DeliveredNotification> delivered = center_->delivered();
  EXPECT_THAT(identifiers(delivered), ElementsAre("a", "c", "b"));
  EXPECT_EQ(delivered.back().title, "newer");
}

TEST_F(RulesTest, RemovalByIdentifiersAndOfAll) {
  authorize();
  for (const char* id : {"a", "b", "c", ""}) {
    add(request(id));
  }
  center_->removeDeliveredNotifications({"b", "unknown", ""});
  EXPECT_THAT(identifiers(center_->delivered()), ElementsAre("a", "c"));
  center_->removeDeliveredNotifications({});
  EXPECT_THAT(identifiers(center_->delivered()), ElementsAre("a", "c"));
  center_->removeAllDeliveredNotifications();
  EXPECT_THAT(center_->delivered(), IsEmpty());
}

TEST_F(RulesTest, DeliveredRecordsFlattenTheContent) {
  authorize();
  NotificationRequest plain = request("plain");
  NotificationRequest full{
      "full",
      {"Title", "Sub", "Body", NotificationSound::kDefault, {{"notifID", "42"}}, "GENERAL"}};
  add(plain);
  add(full);
  EXPECT_THAT(center_->delivered(),
              ElementsAre(
                  DeliveredNotification{
                      "plain", "title", "", "", false, {{"notifID", "id-plain"}}, std::nullopt},
                  DeliveredNotification{
                      "full", "Title", "Sub", "Body", true, {{"notifID", "42"}}, "GENERAL"}));
}

TEST_F(RulesTest, ASuccessfulAddIsPresentedToTheDelegate) {
  authorize();
  add(request("before-delegate"));
  center_->waitUntilIdle();
  center_->setDelegate(delegate_);
  add(request("a"));
  center_->configure({.addError = PlatformError{"Sim", 1, "no"}});
  add(request("refused"));
  center_->waitUntilIdle();
  EXPECT_THAT(delegate_->presented(), ElementsAre("a"));
  EXPECT_THAT(center_->presentations(),
              ElementsAre(Presentation{"a", RecordingDelegate::kShowEverything}));
}

TEST_F(RulesTest, SettingsAnswerTheUserSettingsWithTheCurrentStatus) {
  NotificationSettings expected;
  expected.authorizationStatus = AuthorizationStatus::kNotDetermined;
  expected.notificationCenterSetting = NotificationSetting::kEnabled;
  expected.lockScreenSetting = NotificationSetting::kEnabled;
  expected.alertSetting = NotificationSetting::kEnabled;
  expected.badgeSetting = NotificationSetting::kEnabled;
  expected.soundSetting = NotificationSetting::kEnabled;
  expected.criticalAlertSetting = NotificationSetting::kNotSupported;
  expected.alertStyle = AlertStyle::kBanner;
  expected.showPreviewsSetting = ShowPreviewsSetting::kAlways;
  EXPECT_EQ(settings(), expected);

  center_->configure({.grant = false});
  requestAuthorization(kAuthorizationOptionBadge);
  expected.authorizationStatus = AuthorizationStatus::kDenied;
  EXPECT_EQ(settings(), expected);
}

TEST_F(RulesTest, CategoriesAreReplacedAsAWholeSet) {
  installCategories();
  ASSERT_EQ(center_->categories().size(), 2u);
  center_->setNotificationCategories({{"ONLY", {}}});
  EXPECT_THAT(center_->categories(), ElementsAre(NotificationCategory{"ONLY", {}}));
}

TEST_F(RulesTest, ResponsesReachTheDelegateAsThePlatformGivesThem) {
  struct Case {
    UserResponse response;
    std::string actionIdentifier;
    std::optional<std::string> userText;
  };
  const Case cases[] = {
      {{"default", std::nullopt}, kDefaultActionIdentifier, std::nullopt},
      {{"ANSWER_CALL", std::nullopt}, "ANSWER_CALL", std::nullopt},
      {{"REPLY", "ok"}, "REPLY", "ok"},
      {{"REPLY", ""}, "REPLY", ""},
  };
  const NotificationRequest delivered = request("group-1");
  deliverForResponses(delivered);
  for (const Case& c : cases) {
    center_->respond("group-1", c.response);
  }
  const auto received = delegate_->waitForResponses(std::size(cases));
  ASSERT_EQ(received.size(), std::size(cases));
  for (const auto& [response, thread] : received) {
    const auto expected = std::find_if(std::begin(cases), std::end(cases), [&](const Case& c) {
      return c.actionIdentifier == response.actionIdentifier && c.userText == response.userText;
    });
    EXPECT_NE(expected, std::end(cases)) << response.actionIdentifier;
    EXPECT_EQ(response.request, delivered);
    EXPECT_EQ(response.isTextInput(), response.actionIdentifier == "REPLY");
  }
}

TEST_F(RulesTest, ResponsesThatTheUserCouldNotGiveAreRefusedWithAClearError) {
  deliverForResponses(request("shown"));
  struct Case {
    const char* identifier;
    UserResponse response;
    const char* error;
  };
  const Case cases[] = {
      {"missing",
       {"default", std::nullopt},
       "no delivered notification has the identifier \"missing\""},
      {"shown", {"REPLY", std::nullopt}, "the action \"REPLY\" is a text input and needs a text"},
      {"shown", {"ANSWER_CALL", "hi"}, "the action \"ANSWER_CALL\" takes no text"},
      {"shown", {"default", "hi"}, "the action \"default\" takes no text"},
      {"shown",
       {"DELETE", std::nullopt},
       "no installed category has the action \"DELETE\" (and it is not \"default\", a click)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(errorText<std::invalid_argument>([&] { center_->respond(c.identifier, c.response); }),
              c.error);
  }
  // A batch with one bad response sends none of them.
  EXPECT_THROW(center_->respondMany({{{"shown", {"default", std::nullopt}}},
                                     {{"missing", {"default", std::nullopt}}}}),
               std::invalid_argument);
  center_->waitUntilIdle();
  EXPECT_THAT(delegate_->received(), IsEmpty());
}

TEST_F(RulesTest, ResponseCompletionsAreCountedOnceAndWithoutADelegateNothingIsSent) {
  authorize();
  add(request("shown"));
  center_->respond("shown", {"default", std::nullopt});
  center_->waitUntilIdle();
  EXPECT_EQ(center_->acknowledgedResponses(), 0u);

  auto twice = std::make_shared<RecordingDelegate>(/*completionCalls=*/2);
  center_->setDelegate(twice);
  center_->respond("shown", {"default", std::nullopt});
  center_->respond("shown", {"default", std::nullopt});
  twice->waitForResponses(2);
  center_->waitUntilIdle();
  EXPECT_EQ(center_->acknowledgedResponses(), 2u);

  auto never = std::make_shared<RecordingDelegate>(/*completionCalls=*/0);
  center_->setDelegate(never);
  center_->respond("shown", {"default", std::nullopt});
  never->waitForResponses(1);
  center_->waitUntilIdle();
  EXPECT_EQ(center_->acknowledgedResponses(), 2u);
}

// Every notification delivered is reported once when it goes: replaced,
// removed, removed with all, or cleared by reset; a refused add, an unknown
// identifier and an answer report nothing.
TEST_F(RulesTest, EveryNotificationThatGoesOffShowIsReportedOnce) {
  deliverForResponses(request("a"));
  for (const char* identifier : {"a", "b", "c", "d", "e"}) {  // "a" replaces the first "a"
    ASSERT_EQ(add(request(identifier)), std::nullopt);
  }
  center_->configure({.addError = PlatformError{"Sim", 1, "no"}});
  ASSERT_NE(add(request("b")), std::nullopt);
  center_->respond("c", {"default", std::nullopt});
  center_->removeDeliveredNotifications({"b", "unknown", "b"});
  center_->removeAllDeliveredNotifications();  // a, c, d, e
  ASSERT_EQ(delegate_->waitForRemovals(6).size(), 6u);
  center_->reset();  // nothing left
  center_->waitUntilIdle();
  EXPECT_THAT(delegate_->removed(), UnorderedElementsAre("a", "b", "a", "c", "d", "e"));

  authorize();
  ASSERT_EQ(add(request("kept")), std::nullopt);
  center_->reset();
  EXPECT_EQ(delegate_->waitForRemovals(7).back(), "kept");
}

}  // namespace
}  // namespace quorvane::platform::notifications::test
