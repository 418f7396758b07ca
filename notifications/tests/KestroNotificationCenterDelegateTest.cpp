// The delegate without the host, against the shared simulated centre: the
// system threshold, responses the addon cannot deliver (no "notifID"), and
// the handler replaced while the centre's threads call it, and what the
// centre reports off show passed on.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "notifications/src/KestroNotificationCenterDelegate.h"
#include "platform/UserNotifications/simulated/SimulatedNotificationCenter.h"

namespace quorvane::kestro::notifications {
namespace {

namespace un = platform::notifications;

struct Event {
  std::string event;
  std::string id;
  std::optional<NotificationEventData> data;
  bool operator==(const Event&) const = default;
};

un::NotificationResponse response(std::map<std::string, std::string> userInfo, std::string action,
                                  std::optional<std::string> text) {
  un::NotificationResponse made;
  made.request.content.userInfo = std::move(userInfo);
  made.actionIdentifier = std::move(action);
  made.userText = std::move(text);
  return made;
}

class DelegateTest : public ::testing::Test {
 protected:
  void SetUp() override { center_->reset(); }

  std::shared_ptr<un::SimulatedNotificationCenter> center_ =
      un::installSimulatedNotificationCenter();
};

TEST_F(DelegateTest, MadeOnlyFrom1014OnThenTheCentresDelegateShowingEverything) {
  center_->configure({.osVersion = "10.13.6"});
  EXPECT_FALSE(KestroNotificationCenterDelegate::isSupported());
  EXPECT_EQ(KestroNotificationCenterDelegate::sharedDelegate(), nullptr);
  EXPECT_EQ(center_->delegate(), nullptr);

  center_->configure({.osVersion = "10.14"});
  auto delegate = KestroNotificationCenterDelegate::sharedDelegate();
  ASSERT_NE(delegate, nullptr);
  EXPECT_EQ(center_->delegate(), delegate);
  EXPECT_EQ(KestroNotificationCenterDelegate::sharedDelegate(), delegate);

  un::PresentationOptions presented = 0;
  delegate->willPresentNotification(*center_, {},
                                    [&](un::PresentationOptions o) { presented = o; });
  EXPECT_EQ(presented, 7u);
}

TEST_F(DelegateTest, ResponsesBecomeEventsAndAreAlwaysAcknowledged) {
  auto delegate = KestroNotificationCenterDelegate::sharedDelegate();
  int acknowledged = 0;
  const auto acknowledge = [&] { ++acknowledged; };
  delegate->didReceiveNotificationResponse(*center_, response({}, "REPLY", "early"), acknowledge);

  std::vector<Event> events;
  delegate->setOnNotificationResponse(
      [&](std::string event, std::string id, std::optional<NotificationEventData> data) {
        events.push_back({std::move(event), std::move(id), std::move(data)});
      });
  const struct {
    un::NotificationResponse response;
    Event expected;
  } cases[] = {
      {response({{"notifID", "42"}}, "REPLY", "ok"), {"reply", "42", {{{"reply", "ok"}}}}},
      // Not delivered by the addon: no "notifID", the id is "".
      {response({{"other", "1"}}, un::kDefaultActionIdentifier, {}), {"activated", "", {}}},
      {response({}, "REPLY", ""), {"reply", "", {{{"reply", ""}}}}},
  };
  for (const auto& c : cases) {
    delegate->didReceiveNotificationResponse(*center_, c.response, acknowledge);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), c.expected);
  }
  EXPECT_EQ(events.size(), std::size(cases));
  EXPECT_EQ(acknowledged, static_cast<int>(std::size(cases)) + 1);
}

TEST_F(DelegateTest, WhatGoesOffShowReachesTheRemovalHandlerWhileOneIsSet) {
  auto delegate = KestroNotificationCenterDelegate::sharedDelegate();
  delegate->didRemoveDeliveredNotifications(*center_, {"early"});  // none set: dropped
  std::vector<std::string> removed;
  delegate->setOnNotificationsRemoved([&](const std::vector<std::string>& identifiers) {
    removed.insert(removed.end(), identifiers.begin(), identifiers.end());
  });
  delegate->didRemoveDeliveredNotifications(*center_, {"a", "b", "a"});
  delegate->setOnNotificationsRemoved({});
  delegate->didRemoveDeliveredNotifications(*center_, {"late"});
  EXPECT_EQ(removed, (std::vector<std::string>{"a", "b", "a"}));
}

// Each handler owns a probe that records the thread it is destroyed on.
TEST_F(DelegateTest, AReplacedHandlerIsDestroyedOnTheReplacingThreadAfterItsLastCall) {
  constexpr int kCallers = 4;
  constexpr int kCallsEach = 2000;
  constexpr int kReplacements = 300;
  struct Probe {
    std::atomic<int>* wrongThread;
    std::thread::id owner = std::this_thread::get_id();
    ~Probe() { wrongThread->fetch_add(std::this_thread::get_id() != owner ? 1 : 0); }
  };
  std::atomic<int> wrongThread{0};
  std::atomic<int> calls{0};
  const auto handler = [&] {
    auto probe = std::make_shared<Probe>(&wrongThread);
    return [probe, &calls](std::string, std::string, std::optional<NotificationEventData>) {
      calls.fetch_add(probe->wrongThread != nullptr ? 1 : 0);
    };
  };
  auto delegate = KestroNotificationCenterDelegate::sharedDelegate();
  delegate->setOnNotificationResponse(handler());
  std::atomic<int> running{kCallers};
  std::vector<std::thread> callers;
  for (int i = 0; i < kCallers; ++i) {
    callers.emplace_back([&] {
      for (int n = 0; n < kCallsEach; ++n) {
        delegate->didReceiveNotificationResponse(*center_, response({}, "x", {}), [] {});
      }
      running.fetch_sub(1);
    });
  }
  for (int r = 0; r < kReplacements || running.load() > 0; ++r) {
    delegate->setOnNotificationResponse(handler());
  }
  for (std::thread& caller : callers) {
    caller.join();
  }
  delegate->setOnNotificationResponse({});
  EXPECT_EQ(calls.load(), kCallers * kCallsEach);
  EXPECT_EQ(wrongThread.load(), 0);
}

}  // namespace
}  // namespace quorvane::kestro::notifications
