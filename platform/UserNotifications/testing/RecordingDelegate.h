#pragma once

// RecordingDelegate: a delegate for tests. It records every notification it is
// asked to present, every response, with the thread each call came on, and
// the identifiers reported off show, in order; answers presentations with
// fixed options; and calls each response's completion `completionCalls` times
// (0: never, 2: a faulty delegate). waitForResponses(n) and waitForRemovals(n)
// wait until n responses (identifiers) have arrived, or throw
// std::runtime_error after `limit`.
//
// Thread safety: the centre may call it from any thread while the test thread
// reads the records.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/UserNotifications/NotificationCenterDelegate.h"

namespace quorvane::platform::notifications::test {

class RecordingDelegate : public NotificationCenterDelegate {
 public:
  struct Received {
    NotificationResponse response;
    std::thread::id thread;
  };

  static constexpr PresentationOptions kShowEverything =
      kPresentationOptionAlert | kPresentationOptionSound | kPresentationOptionBadge;

  explicit RecordingDelegate(int completionCalls = 1,
                             PresentationOptions presentation = kShowEverything)
      : completionCalls_(completionCalls), presentation_(presentation) {}

  void willPresentNotification(NotificationCenter&, const NotificationRequest& notification,
                               PresentationCompletion completion) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      presented_.push_back(notification.identifier);
    }
    completion(presentation_);
  }

  void didReceiveNotificationResponse(NotificationCenter&, const NotificationResponse& response,
                                      ResponseCompletion completion) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.push_back(Received{response, std::this_thread::get_id()});
      arrived_.notify_all();
    }
    for (int i = 0; i < completionCalls_; ++i) {
      completion();
    }
  }

  void didRemoveDeliveredNotifications(NotificationCenter&,
                                       const std::vector<std::string>& identifiers) override {
    std::lock_guard<std::mutex> lock(mutex_);
    removed_.insert(removed_.end(), identifiers.begin(), identifiers.end());
    arrived_.notify_all();
  }

  std::vector<Received> waitForResponses(std::size_t count,
                                         std::chrono::seconds limit = std::chrono::seconds(20)) {
    return waitFor(received_, count, limit, " responses arrived");
  }

  std::vector<std::string> waitForRemovals(std::size_t count,
                                           std::chrono::seconds limit = std::chrono::seconds(20)) {
    return waitFor(removed_, count, limit, " removals were reported");
  }

  std::vector<std::string> removed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return removed_;
  }

  std::vector<Received> received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

  std::vector<std::string> presented() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return presented_;
  }

 private:
  template <typename Record>
  std::vector<Record> waitFor(const std::vector<Record>& records, std::size_t count,
                              std::chrono::seconds limit, const char* what) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!arrived_.wait_for(lock, limit, [&] { return records.size() >= count; })) {
      throw std::runtime_error("only " + std::to_string(records.size()) + " of " +
                               std::to_string(count) + what);
    }
    return records;
  }

  const int completionCalls_;
  const PresentationOptions presentation_;
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Received> received_;
  std::vector<std::string> presented_;
  std::vector<std::string> removed_;
};

}  // namespace quorvane::platform::notifications::test
