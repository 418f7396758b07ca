// Which environment's loop the notifications that can still be answered keep
// alive: deliveries counted until refused or reported off show, the handler
// moving between environments, environments ending, and reports arriving from
// other threads while deliveries are made.

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "notifications/src/AnswerableNotifications.h"

namespace quorvane::kestro::notifications {
namespace {

class AnswerableNotificationsTest : public ::testing::Test {
 protected:
  // Live holds per environment; a hold is a token whose end counts down.
  AnswerableNotifications::LoopHold hold(AnswerableNotifications::Environment env) {
    if (failHolds_) {
      throw std::runtime_error("no hold");
    }
    ++made_;
    std::atomic<int>& live = env == main_ ? mainHolds_ : workerHolds_;
    ++live;
    return AnswerableNotifications::LoopHold(nullptr, [&live](void*) { --live; });
  }

  int mainEnv_ = 0;
  int workerEnv_ = 0;
  void* const main_ = &mainEnv_;
  void* const worker_ = &workerEnv_;
  std::atomic<int> mainHolds_{0};
  std::atomic<int> workerHolds_{0};
  std::atomic<int> made_{0};
  bool failHolds_ = false;
  AnswerableNotifications answerable_{[this](auto env) { return hold(env); }};
};

TEST_F(AnswerableNotificationsTest, HeldWhileTheHandlerIsSetAndADeliveryCanBeAnswered) {
  const auto first = answerable_.delivering(main_, "chat");
  EXPECT_EQ(mainHolds_, 0);  // no handler yet
  answerable_.handlerSetIn(main_);
  EXPECT_EQ(mainHolds_, 1);
  answerable_.delivering(main_, "call");
  answerable_.handlerSetIn(main_);
  EXPECT_EQ(made_, 1);

  answerable_.noLongerShown({"unknown", "chat"});
  EXPECT_EQ(mainHolds_, 1);
  answerable_.notDelivered(first);  // ended by the report already: ends nothing more
  answerable_.noLongerShown({"call"});
  EXPECT_EQ(mainHolds_, 0);
  EXPECT_FALSE(answerable_.holdsLoopOf(main_));
}

TEST_F(AnswerableNotificationsTest, EachDeliveryEndsOnceWhateverOrderTheEndsArriveIn) {
  answerable_.handlerSetIn(main_);
  struct Case {
    const char* name;
    int deliveries;
    int reports;
    std::vector<int> refused;  // deliveries the centre refused
  };
  const Case cases[] = {
      {"refused", 1, 0, {0}},
      {"removed", 1, 1, {}},
      {"replaced, then removed", 2, 2, {}},
      {"refused after a report took its place", 2, 1, {0}},
      {"refused before the newer one was removed", 3, 2, {1}},
  };
  for (const Case& c : cases) {
    std::vector<AnswerableNotifications::Delivery> deliveries;
    for (int i = 0; i < c.deliveries; ++i) {
      deliveries.push_back(answerable_.delivering(main_, "g"));
    }
    for (int i = 0; i < c.reports; ++i) {
      EXPECT_EQ(mainHolds_, 1) << c.name;
      answerable_.noLongerShown({"g"});
    }
    for (int index : c.refused) {
      EXPECT_EQ(mainHolds_, 1) << c.name;
      answerable_.notDelivered(deliveries[index]);
    }
    EXPECT_EQ(mainHolds_, 0) << c.name;
  }
  answerable_.noLongerShown({"g"});  // more reports than deliveries change nothing
  answerable_.delivering(main_, "g");
  EXPECT_EQ(mainHolds_, 1);
}

TEST_F(AnswerableNotificationsTest, OnlyTheEnvironmentWithTheHandlerAndItsDeliveriesIsHeld) {
  answerable_.handlerSetIn(main_);
  answerable_.delivering(main_, "m");
  answerable_.delivering(worker_, "w");
  EXPECT_EQ(mainHolds_, 1);
  EXPECT_EQ(workerHolds_, 0);

  answerable_.handlerSetIn(worker_);
  EXPECT_EQ(mainHolds_, 0);
  EXPECT_EQ(workerHolds_, 1);
  answerable_.noLongerShown({"w"});
  EXPECT_EQ(workerHolds_, 0);
  answerable_.noLongerShown({"m"});
  answerable_.handlerSetIn(main_);
  EXPECT_EQ(mainHolds_, 0);  // nothing of its own left to answer
}

TEST_F(AnswerableNotificationsTest, AnEndedEnvironmentHoldsNothingAndItsAddressStartsAfresh) {
  answerable_.handlerSetIn(worker_);
  answerable_.delivering(worker_, "old");
  ASSERT_EQ(workerHolds_, 1);
  answerable_.environmentEnded(worker_);
  EXPECT_EQ(workerHolds_, 0);

  answerable_.handlerSetIn(worker_);  // a new worker at the same address
  EXPECT_EQ(workerHolds_, 0);
  answerable_.delivering(worker_, "new");
  answerable_.noLongerShown({"old"});
  EXPECT_EQ(workerHolds_, 1);
  answerable_.noLongerShown({"new"});
  EXPECT_EQ(workerHolds_, 0);
  answerable_.environmentEnded(main_);  // never seen: nothing happens
}

TEST_F(AnswerableNotificationsTest, AHoldThatCannotBeMadeFailsTheCallAndChangesNothing) {
  answerable_.delivering(main_, "g");
  answerable_.handlerSetIn(worker_);
  failHolds_ = true;
  EXPECT_THROW(answerable_.handlerSetIn(main_), std::runtime_error);
  EXPECT_THROW(answerable_.delivering(worker_, "w"), std::runtime_error);
  failHolds_ = false;
  EXPECT_FALSE(answerable_.holdsLoopOf(worker_));
  answerable_.delivering(worker_, "w");  // the handler stayed in the worker
  EXPECT_EQ(workerHolds_, 1);
  answerable_.noLongerShown({"w"});
  EXPECT_EQ(workerHolds_, 0);  // the failed delivery was never counted
  answerable_.handlerSetIn(main_);
  EXPECT_EQ(mainHolds_, 1);
}

// Reports on several threads (the centre's) while the JavaScript thread
// delivers: every delivery ends once, and the hold ends with the last.
TEST_F(AnswerableNotificationsTest, ReportsFromOtherThreadsWhileDeliveringEndEveryDelivery) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 2000;
  answerable_.handlerSetIn(main_);
  std::atomic<int> delivered{0};
  std::vector<std::thread> reporters;
  for (int t = 0; t < kThreads; ++t) {
    reporters.emplace_back([&, t] {
      const std::string identifier = "g" + std::to_string(t);
      for (int reported = 0; reported < kPerThread;) {
        if (delivered.load() > reported * kThreads + t) {  // that delivery was made
          answerable_.noLongerShown({identifier});
          ++reported;
        } else {
          std::this_thread::yield();
        }
      }
    });
  }
  for (int i = 0; i < kThreads * kPerThread; ++i) {
    answerable_.delivering(main_, "g" + std::to_string(i % kThreads));
    ++delivered;
  }
  for (std::thread& reporter : reporters) {
    reporter.join();
  }
  EXPECT_EQ(mainHolds_, 0);
  EXPECT_FALSE(answerable_.holdsLoopOf(main_));
}

}  // namespace
}  // namespace quorvane::kestro::notifications
