// The D-Bus centre against a real bus and a stand-in notification server:
// every test starts a dbus-daemon of its own on a private socket, and
// python3-dbusmock's notification-daemon template on it when it needs a
// server; both are stopped when the test ends, also when it fails.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "common/utilities/testing/ChildProcess.h"
#include "platform/UserNotifications/dbus/DbusNotificationCenter.h"
#include "platform/UserNotifications/dbus/testing/MockNotificationServer.h"
#include "platform/UserNotifications/dbus/testing/PrivateSessionBus.h"
#include "platform/UserNotifications/testing/Answer.h"
#include "platform/UserNotifications/testing/RecordingDelegate.h"

namespace quorvane::platform::notifications::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kAppName = "KestroTest";
constexpr const char* kNotifySignature = "susssasa{sv}i";
constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
constexpr auto kInFlight = 300ms;  // long enough for a queued call to reach the server

NotificationRequest request(const std::string& identifier, const std::string& category = "",
                            NotificationSound sound = NotificationSound::kNone) {
  return NotificationRequest{
      identifier,
      {"Title " + identifier, "Sub", "1 < 2", sound, {{"notifID", "id-" + identifier}}, category}};
}

class DbusCenterTest : public ::testing::Test {
 protected:
  DbusNotificationCenter::Options options(std::chrono::milliseconds presence = 5s) const {
    return {bus_.address(), kAppName, presence, /*callTimeout=*/20s};
  }
  void startServer(const std::string& capabilities = kFullCapabilities) {
    server_.emplace(bus_, capabilities);
  }
  void installCategories() {
    center_->setNotificationCategories(
        {{"INCOMING_CALL",
          {NotificationAction::plain("ANSWER_CALL", "Answer", kActionOptionForeground)}},
         {"GENERAL", {NotificationAction::textInput("REPLY", "Reply", 0)}}});
  }
  std::optional<PlatformError> add(NotificationRequest r, NotificationCenter* center = nullptr) {
    Answer<std::optional<PlatformError>> answer;
    (center != nullptr ? center : center_.get())->addNotificationRequest(r, answer.completion());
    return std::get<0>(answer.wait());
  }
  NotificationSettings settings(NotificationCenter* center = nullptr) {
    Answer<NotificationSettings> answer;
    (center != nullptr ? center : center_.get())->getNotificationSettings(answer.completion());
    return std::get<0>(answer.wait());
  }
  std::pair<bool, std::optional<PlatformError>> authorize(NotificationCenter* center = nullptr) {
    Answer<bool, std::optional<PlatformError>> answer;
    (center != nullptr ? center : center_.get())
        ->requestAuthorization(kAuthorizationOptionBadge, answer.completion());
    auto [granted, error] = answer.wait();
    return {granted, error};
  }
  // What a denied system answers, checked on `center`.
  void expectDenied(NotificationCenter* center = nullptr) {
    EXPECT_EQ(settings(center).authorizationStatus, AuthorizationStatus::kDenied);
    EXPECT_EQ(authorize(center), std::make_pair(false, std::optional<PlatformError>()));
    EXPECT_EQ(add(request("denied"), center), notificationsNotAllowedError());
  }

  PrivateSessionBus bus_;
  std::optional<MockNotificationServer> server_;
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
  std::shared_ptr<DbusNotificationCenter> center_ =
      std::make_shared<DbusNotificationCenter>(options());
};

TEST_F(DbusCenterTest, ADeliveryArrivesWithTheMappedFields) {
  startServer();
  installCategories();
  ASSERT_EQ(add(request("plain")), std::nullopt);
  ASSERT_EQ(add(request("reply", "GENERAL", NotificationSound::kDefault)), std::nullopt);
  ASSERT_EQ(add(request("call", "INCOMING_CALL")), std::nullopt);

  const std::vector<NotifyArguments> calls = server_->notifyCalls();
  ASSERT_EQ(calls.size(), 3u);
  for (const NotifyArguments& call : calls) {
    EXPECT_EQ(call.appName, kAppName);
    EXPECT_EQ(call.replacesId, 0u);
    EXPECT_EQ(call.appIcon, "");
    EXPECT_EQ(call.body, "Sub\n1 &lt; 2");  // the server reads markup
    EXPECT_EQ(call.expireTimeout, -1);
  }
  EXPECT_EQ(calls[0].summary, "Title plain");
  EXPECT_THAT(calls[0].actions, ElementsAre("default", "Open"));
  EXPECT_THAT(calls[0].hints, ElementsAre(std::pair("suppress-sound", "true")));
  EXPECT_THAT(calls[1].actions, ElementsAre("default", "Open", "inline-reply", "Reply"));
  EXPECT_THAT(calls[1].hints, ElementsAre(std::pair("sound-name", "message-new-instant")));
  EXPECT_THAT(calls[2].actions, ElementsAre("default", "Open", "ANSWER_CALL", "Answer"));
}

TEST_F(DbusCenterTest, InlineRepliesAndMarkupOnlyWhereTheServerListsThem) {
  startServer("actions body");
  installCategories();
  ASSERT_EQ(add(request("reply", "GENERAL")), std::nullopt);
  const NotifyArguments call = server_->notifyCalls().at(0);
  EXPECT_THAT(call.actions, ElementsAre("default", "Open"));
  EXPECT_EQ(call.body, "Sub\n1 < 2");
}

TEST_F(DbusCenterTest, AnIdentifierIsReplacedAndRemovedThroughTheServersId) {
  startServer();
  ASSERT_EQ(add(request("a")), std::nullopt);  // the mock's ids count from 1
  ASSERT_EQ(add(request("b")), std::nullopt);
  ASSERT_EQ(add(request("a")), std::nullopt);
  EXPECT_EQ(server_->notifyCalls().at(2).replacesId, 1u);

  center_->removeDeliveredNotifications({"a", "unknown"});
  EXPECT_THAT(server_->waitForCloseCalls(1), ElementsAre(1u));
  center_->removeAllDeliveredNotifications();
  EXPECT_THAT(server_->waitForCloseCalls(2), ElementsAre(1u, 2u));
  ASSERT_EQ(add(request("a")), std::nullopt);
  EXPECT_EQ(server_->notifyCalls().at(3).replacesId, 0u);
}

TEST_F(DbusCenterTest, AnAddRemovedBeforeTheServerAnsweredDoesNotStay) {
  startServer();
  for (const char* identifier :
       {"first", "second"}) {  // before and after the capabilities are known
    Answer<std::optional<PlatformError>> answer;
    center_->addNotificationRequest(request(identifier), answer.completion());
    center_->removeDeliveredNotifications({identifier});
    EXPECT_EQ(std::get<0>(answer.wait()), std::nullopt);
    center_->waitUntilIdle();
    EXPECT_EQ(server_->notifyCalls().size(), server_->closeCalls().size()) << identifier;
  }
}

TEST_F(DbusCenterTest, ServerSignalsReachTheDelegateAsResponses) {
  startServer();
  installCategories();
  center_->setDelegate(delegate_);
  ASSERT_EQ(add(request("r", "GENERAL")), std::nullopt);        // server id 1
  ASSERT_EQ(add(request("c", "INCOMING_CALL")), std::nullopt);  // server id 2

  server_->emit("NotificationReplied", 1, "ok");
  server_->emit("ActionInvoked", 1, "default");
  server_->emit("ActionInvoked", 99, "default");  // not this application's
  server_->emit("ActionInvoked", 2, "no-such-action");
  server_->emit("ActionInvoked", 2, "ANSWER_CALL");
  const auto received = delegate_->waitForResponses(3);
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0].response, (NotificationResponse{request("r", "GENERAL"), "REPLY", "ok"}));
  EXPECT_EQ(received[1].response, (NotificationResponse{request("r", "GENERAL"),
                                                        kDefaultActionIdentifier, std::nullopt}));
  EXPECT_EQ(received[2].response,
            (NotificationResponse{request("c", "INCOMING_CALL"), "ANSWER_CALL", std::nullopt}));
  EXPECT_NE(received[0].thread, std::this_thread::get_id());
}

// What goes off show reaches the delegate once per notification: replaced,
// removed, closed by the server (after the response that came first), gone
// with the server; a close of what the server does not show for us, nothing.
TEST_F(DbusCenterTest, WhatGoesOffShowReachesTheDelegateOnce) {
  startServer();
  center_->setDelegate(delegate_);
  for (const char* identifier : {"a", "b", "c", "a"}) {  // server ids 1, 2, 3; "a" again 1
    ASSERT_EQ(add(request(identifier)), std::nullopt);
  }
  EXPECT_THAT(delegate_->waitForRemovals(1), ElementsAre("a"));

  server_->emit("ActionInvoked", 2, "default");
  server_->emitClosed(2, /*reason=*/2);
  server_->emitClosed(99, /*reason=*/1);
  EXPECT_THAT(delegate_->waitForRemovals(2), ElementsAre("a", "b"));
  EXPECT_EQ(delegate_->received().size(), 1u);  // the response was handed over first

  center_->removeDeliveredNotifications({"c", "b"});  // the server answers with its own close
  EXPECT_THAT(delegate_->waitForRemovals(3), ElementsAre("a", "b", "c"));
  server_.reset();  // "a" goes with the server
  EXPECT_THAT(delegate_->waitForRemovals(4), ElementsAre("a", "b", "c", "a"));
  center_->waitUntilIdle();
  EXPECT_EQ(delegate_->removed().size(), 4u);
}

TEST_F(DbusCenterTest, AuthorisationFollowsWhetherAServerAnswers) {
  expectDenied();

  startServer("actions body sound");
  const NotificationSettings present = settings();
  EXPECT_EQ(present.authorizationStatus, AuthorizationStatus::kAuthorized);
  EXPECT_EQ(present.soundSetting, NotificationSetting::kEnabled);
  EXPECT_EQ(present.alertStyle, AlertStyle::kAlert);
  EXPECT_EQ(authorize(), std::make_pair(true, std::optional<PlatformError>()));
  EXPECT_EQ(add(request("a")), std::nullopt);

  server_->stop();
  expectDenied();
}

TEST_F(DbusCenterTest, AServerThatDoesNotAnswerInTimeCountsAsAbsent) {
  startServer();
  server_->replaceMethod("GetCapabilities", "", "as", "import time\ntime.sleep(5)\nret = []");
  DbusNotificationCenter center(options(/*presence=*/200ms));
  EXPECT_EQ(settings(&center).authorizationStatus, AuthorizationStatus::kDenied);
}

TEST_F(DbusCenterTest, WithoutABusTheCentreAnswersAsADeniedSystem) {
  DbusNotificationCenter::Options nowhere = options();
  nowhere.busAddress = "unix:path=" + bus_.pathOf("nobody-listens");
  DbusNotificationCenter explicitAddress(nowhere);
  expectDenied(&explicitAddress);
  explicitAddress.removeAllDeliveredNotifications();
  explicitAddress.waitUntilIdle();

  ASSERT_EQ(::setenv("DBUS_SESSION_BUS_ADDRESS", nowhere.busAddress.c_str(), 1), 0);
  DbusNotificationCenter sessionBus;
  expectDenied(&sessionBus);
}

TEST_F(DbusCenterTest, TheServersErrorBecomesTheAddError) {
  startServer();
  server_->replaceMethod(
      "Notify", kNotifySignature, "u",
      "raise dbus.exceptions.DBusException('disk full', name='org.example.Error.Full')");
  const std::optional<PlatformError> error = add(request("a"));
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(*error, (PlatformError{"org.example.Error.Full", EIO, "disk full"}));
  EXPECT_EQ(error->domainCodeDescription(), "org.example.Error.Full (5) - disk full");
}

TEST_F(DbusCenterTest, TextsTheBusCannotCarryFailTheAddWithoutSendingIt) {
  startServer();
  NotificationRequest nul = request("nul");
  nul.content.title = std::string("a\0b", 3);
  NotificationRequest notUtf8 = request("bytes");
  notUtf8.content.body = "\xff\xfe";
  for (const NotificationRequest& r : {nul, notUtf8}) {
    const std::optional<PlatformError> error = add(r);
    ASSERT_TRUE(error.has_value()) << r.identifier;
    EXPECT_EQ(error->domain, kInvalidArgs) << r.identifier;
    EXPECT_EQ(error->code, EINVAL) << r.identifier;
  }
  EXPECT_THAT(server_->notifyCalls(), IsEmpty());
}

TEST_F(DbusCenterTest, ABusThatDiesAnswersEveryAddOnceWithAnError) {
  startServer();
  server_->replaceMethod("Notify", kNotifySignature, "u", "import time\ntime.sleep(30)\nret = 1");
  ASSERT_EQ(settings().authorizationStatus, AuthorizationStatus::kAuthorized);
  Answer<std::optional<PlatformError>> answers[2];
  for (auto& answer : answers) {
    center_->addNotificationRequest(request("a"), answer.completion());
  }
  std::this_thread::sleep_for(kInFlight);
  bus_.kill();
  for (auto& answer : answers) {
    EXPECT_NE(std::get<0>(answer.wait()), std::nullopt);
  }
  center_->waitUntilIdle();
  for (auto& answer : answers) {
    EXPECT_EQ(answer.calls(), 1);
  }
  expectDenied();
}

TEST_F(DbusCenterTest, ABusThatComesBackIsConnectedToAgain) {
  startServer();
  ASSERT_EQ(add(request("a")), std::nullopt);
  server_.reset();
  bus_.restart();
  startServer();
  ASSERT_EQ(add(request("a")), std::nullopt);
  EXPECT_EQ(server_->notifyCalls().at(0).replacesId, 0u);  // the old server's ids are gone
}

// The shared centre at process exit with a call unanswered, in a forked child
// (the parent never makes it): the exit neither hangs nor crashes.
TEST(DbusCenterExitTest, ExitWithACallInFlightEndsTheProcess) {
  PrivateSessionBus bus;
  MockNotificationServer server(bus, kFullCapabilities);
  server.replaceMethod("Notify", kNotifySignature, "u", "import time\ntime.sleep(30)\nret = 1");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    DbusNotificationCenter::shared()->addNotificationRequest(request("a"), [](auto) {});
    std::this_thread::sleep_for(kInFlight);
    std::exit(0);
  }
  EXPECT_EQ(quorvane::test::exitCodeWithin(child, 20s), 0);
}

}  // namespace
}  // namespace quorvane::platform::notifications::test
