// Where and when the simulated centre answers: on its own threads, after the
// starting call returned, in order per thread, exactly once; and how it shuts
// down with work in flight.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/utilities/testing/ScopedFdRedirect.h"
#include "platform/UserNotifications/tests/SimulatedCenterTestSupport.h"

namespace quorvane::platform::notifications::test {
namespace {

using ::testing::HasSubstr;

// A gate the test opens once the starting call has returned. A completion that
// waits on it learns whether the call returned before it ran: a centre that
// ran it inside the call would never see the gate open.
class ReturnGate {
 public:
  void open() { opened_.set_value(); }
  bool waitForCallToReturn() const {
    return future_.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  }

 private:
  std::promise<void> opened_;
  std::shared_future<void> future_ = opened_.get_future().share();
};

struct Arrival {
  std::thread::id thread;
  bool afterReturn = false;
};

using ThreadsTest = SimulatedCenterTest;

TEST_F(ThreadsTest, AnswersComeOnACentreThreadAfterTheCallReturned) {
  authorize();
  installCategories();
  center_->setDelegate(delegate_);
  std::vector<std::promise<Arrival>> arrivals(3);
  auto arrive = [](std::promise<Arrival>& arrival, const ReturnGate& gate) {
    arrival.set_value(Arrival{std::this_thread::get_id(), gate.waitForCallToReturn()});
  };

  ReturnGate addGate, settingsGate, authorizationGate;
  center_->addNotificationRequest(request("a"), [&](auto) { arrive(arrivals[0], addGate); });
  addGate.open();
  center_->getNotificationSettings([&](auto) { arrive(arrivals[1], settingsGate); });
  settingsGate.open();
  center_->requestAuthorization(kAuthorizationOptionBadge,
                                [&](auto, auto) { arrive(arrivals[2], authorizationGate); });
  authorizationGate.open();

  for (auto& arrival : arrivals) {
    const Arrival got = arrival.get_future().get();
    EXPECT_NE(got.thread, std::this_thread::get_id());
    EXPECT_TRUE(got.afterReturn);
  }
  center_->respond("a", {"REPLY", "ok"});
  const auto received = delegate_->waitForResponses(1);
  EXPECT_NE(received.front().thread, std::this_thread::get_id());
}

TEST_F(ThreadsTest, ManyCompletionsArriveOnceEachAndInOrderPerThread) {
  constexpr int kCalls = 30000;
  authorize();
  std::mutex mutex;
  std::map<std::thread::id, std::vector<int>> seen;
  for (int i = 0; i < kCalls; ++i) {
    center_->addNotificationRequest(request(std::to_string(i % 10)), [&, i](auto error) {
      EXPECT_FALSE(error);
      std::lock_guard<std::mutex> lock(mutex);
      seen[std::this_thread::get_id()].push_back(i);
    });
  }
  center_->waitUntilIdle();
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(seen.size(), SimulatedNotificationCenter::kDefaultLaneCount);
  std::vector<bool> arrived(kCalls, false);
  for (const auto& [thread, calls] : seen) {
    EXPECT_TRUE(std::is_sorted(calls.begin(), calls.end()));
    for (int call : calls) {
      EXPECT_FALSE(arrived[call]) << call;
      arrived[call] = true;
    }
  }
  EXPECT_EQ(std::count(arrived.begin(), arrived.end(), true), kCalls);
  EXPECT_EQ(center_->delivered().size(), 10u);
}

TEST_F(ThreadsTest, CallersOnManyThreadsGetEveryAnswerOnce) {
  constexpr int kCallers = 4;
  constexpr int kCallsEach = 3000;
  deliverForResponses(request("shown"));
  std::atomic<int> answers{0};
  std::vector<std::thread> callers;
  for (int c = 0; c < kCallers; ++c) {
    callers.emplace_back([&, c] {
      for (int i = 0; i < kCallsEach; ++i) {
        const std::string id = std::to_string(c) + ":" + std::to_string(i % 5);
        center_->addNotificationRequest(request(id), [&](auto) { ++answers; });
        center_->getNotificationSettings([&](auto) { ++answers; });
        center_->requestAuthorization(kAuthorizationOptionBadge, [&](auto, auto) { ++answers; });
        center_->respond("shown", {"REPLY", id});
        center_->removeDeliveredNotifications({id});
      }
    });
  }
  for (auto& caller : callers) {
    caller.join();
  }
  center_->waitUntilIdle();
  EXPECT_EQ(answers.load(), 3 * kCallers * kCallsEach);
  EXPECT_EQ(delegate_->received().size(), static_cast<std::size_t>(kCallers * kCallsEach));
  EXPECT_EQ(center_->acknowledgedResponses(), static_cast<std::uint64_t>(kCallers * kCallsEach));
}

TEST_F(ThreadsTest, RespondManySendsEachBatchInOrderOnOneThread) {
  constexpr int kBatches = 4;
  constexpr int kPerBatch = 2500;
  deliverForResponses(request("shown"));
  std::vector<std::vector<AddressedResponse>> batches(kBatches);
  for (int b = 0; b < kBatches; ++b) {
    for (int i = 0; i < kPerBatch; ++i) {
      batches[b].push_back({"shown", {"REPLY", std::to_string(b) + ":" + std::to_string(i)}});
    }
  }
  center_->respondMany(batches);
  const auto received = delegate_->waitForResponses(kBatches * kPerBatch);

  std::map<int, std::set<std::thread::id>> threadsOfBatch;
  std::vector<int> nextOfBatch(kBatches, 0);
  for (const auto& [response, thread] : received) {
    const std::string& text = *response.userText;
    const int batch = std::stoi(text.substr(0, text.find(':')));
    const int index = std::stoi(text.substr(text.find(':') + 1));
    EXPECT_EQ(index, nextOfBatch[batch]++) << text;
    threadsOfBatch[batch].insert(thread);
  }
  for (const auto& [batch, threads] : threadsOfBatch) {
    EXPECT_EQ(threads.size(), 1u) << "batch " << batch;
  }
  EXPECT_EQ(received.size(), static_cast<std::size_t>(kBatches * kPerBatch));
}

TEST_F(ThreadsTest, CompletionsMayCallTheCentreAgainAndWaitUntilIdleCoversTheChain) {
  // The addon's delivery chain: settings, then authorisation, then add.
  Answer<std::optional<PlatformError>> added;
  center_->getNotificationSettings([&](NotificationSettings) {
    center_->requestAuthorization(
        kAuthorizationOptionAlert | kAuthorizationOptionSound | kAuthorizationOptionBadge,
        [&](bool granted, auto) {
          EXPECT_TRUE(granted);
          center_->addNotificationRequest(request("chained"), added.completion());
        });
  });
  center_->waitUntilIdle();
  EXPECT_EQ(added.calls(), 1);
  EXPECT_EQ(std::get<0>(added.wait()), std::nullopt);
}

TEST_F(ThreadsTest, WaitingForIdleOnACentreThreadIsRefused) {
  Answer<std::string> refusal;
  center_->getNotificationSettings([&, answer = refusal.completion()](auto) {
    try {
      center_->waitUntilIdle();
      answer("<no error>");
    } catch (const std::logic_error& ex) {
      answer(ex.what());
    }
  });
  EXPECT_EQ(std::get<0>(refusal.wait()),
            "waitUntilIdle called on a notification centre's own thread would wait for itself");
}

TEST_F(ThreadsTest, AThrowingCompletionIsReportedAndTheThreadCarriesOn) {
  auto center = std::make_shared<SimulatedNotificationCenter>(/*laneCount=*/1);
  Answer<NotificationSettings> after;
  {
    quorvane::test::ScopedFdRedirect stderrCapture(STDERR_FILENO);
    center->getNotificationSettings([](auto) -> void { throw std::runtime_error("boom"); });
    center->getNotificationSettings([](auto) -> void { throw 7; });
    center->getNotificationSettings(after.completion());
    after.wait();
    EXPECT_THAT(
        stderrCapture.contents(),
        HasSubstr("usernotifications: work on a centre thread threw: boom\n"
                  "usernotifications: work on a centre thread threw a non-standard value\n"));
  }
  EXPECT_EQ(after.calls(), 1);
}

// Counts how many of its copies' originals were destroyed.
struct DestructionProbe {
  explicit DestructionProbe(std::atomic<int>& destroyed) : destroyed_(&destroyed) {}
  DestructionProbe(const DestructionProbe& other) : destroyed_(other.destroyed_), counts_(false) {}
  DestructionProbe(DestructionProbe&& other) noexcept : destroyed_(other.destroyed_) {
    other.counts_ = false;
  }
  ~DestructionProbe() {
    if (counts_) {
      ++*destroyed_;
    }
  }
  std::atomic<int>* destroyed_;
  bool counts_ = true;
};

TEST_F(ThreadsTest, ShutdownFinishesTheRunningWorkAndDropsTheQueuedWork) {
  constexpr int kQueued = 200;
  auto center = std::make_shared<SimulatedNotificationCenter>(/*laneCount=*/1);
  std::promise<void> started;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> runningFinished{false};
  std::atomic<int> ran{0};
  std::atomic<int> destroyed{0};
  auto queueProbe = [&] {
    center->getNotificationSettings([&, probe = DestructionProbe(destroyed)](auto) { ++ran; });
  };

  center->getNotificationSettings([&](auto) {
    started.set_value();
    released.wait();
    runningFinished = true;
  });
  for (int i = 0; i < kQueued; ++i) {
    queueProbe();
  }
  started.get_future().wait();
  std::thread stopper([&] { center->shutDown(); });
  // Once the shutdown has begun, new work is destroyed inside the call that
  // brings it (the only lane is busy, so nothing else destroys work now).
  int polls = 0;
  for (bool refused = false; !refused; ++polls) {
    const int before = destroyed.load();
    queueProbe();
    refused = destroyed.load() > before;
  }
  release.set_value();
  stopper.join();

  EXPECT_TRUE(runningFinished.load());
  EXPECT_EQ(ran.load(), 0);
  EXPECT_EQ(destroyed.load(), kQueued + polls);
}

TEST_F(ThreadsTest, WorkAfterShutdownIsDestroyedAndNeverRun) {
  std::atomic<int> ran{0};
  std::atomic<int> destroyed{0};
  deliverForResponses(request("shown"));
  center_->shutDown();
  center_->shutDown();

  center_->getNotificationSettings([&, probe = DestructionProbe(destroyed)](auto) { ++ran; });
  center_->requestAuthorization(kAuthorizationOptionBadge,
                                [&, probe = DestructionProbe(destroyed)](auto, auto) { ++ran; });
  center_->addNotificationRequest(request("b"),
                                  [&, probe = DestructionProbe(destroyed)](auto) { ++ran; });
  center_->respond("shown", {"default", std::nullopt});
  center_->waitUntilIdle();

  EXPECT_EQ(ran.load(), 0);
  EXPECT_EQ(destroyed.load(), 3);
  EXPECT_TRUE(delegate_->received().empty());
  // The state still answers; only the threads are gone.
  EXPECT_EQ(center_->delivered().size(), 2u);
}

}  // namespace
}  // namespace quorvane::platform::notifications::test
