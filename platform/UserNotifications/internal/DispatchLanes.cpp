#include "platform/UserNotifications/internal/DispatchLanes.h"

#include <cstdio>
#include <deque>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "platform/pthread/ThreadNameShim.h"

namespace quorvane::platform::notifications::internal {

namespace {

// The lanes the current thread serves, if it is a lane.
thread_local const DispatchLanes* currentLanes = nullptr;

void runReportingExceptions(const DispatchLanes::Work& work) {
  try {
    work();
  } catch (const std::exception& ex) {
    std::fprintf(stderr, "usernotifications: work on a centre thread threw: %s\n", ex.what());
  } catch (...) {
    std::fprintf(stderr, "usernotifications: work on a centre thread threw a non-standard value\n");
  }
}

}  // namespace

struct DispatchLanes::Lane {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Work> queue;
  bool stopping = false;
  std::thread thread;
};

DispatchLanes::DispatchLanes(std::size_t count, std::string_view threadName) {
  if (count == 0) {
    throw std::invalid_argument("a notification centre needs at least one thread");
  }
  try {
    for (std::size_t i = 0; i < count; ++i) {
      auto& lane = *lanes_.emplace_back(std::make_unique<Lane>());
      lane.thread = std::thread([this, &lane, name = std::string(threadName) + std::to_string(i)] {
        setCurrentThreadName(name);
        currentLanes = this;
        run(lane);
      });
    }
  } catch (...) {
    shutDown();
    throw;
  }
}

DispatchLanes::~DispatchLanes() { shutDown(); }

std::size_t DispatchLanes::nextLane() {
  return next_.fetch_add(1, std::memory_order_relaxed) % lanes_.size();
}

void DispatchLanes::dispatch(Work work) {
  std::vector<Work> one;
  one.push_back(std::move(work));
  dispatchOn(nextLane(), std::move(one));
}

void DispatchLanes::dispatchOn(std::size_t index, std::vector<Work> work) {
  Lane& lane = *lanes_[index % lanes_.size()];
  std::lock_guard<std::mutex> lock(lane.mutex);
  if (lane.stopping) {
    // Destroyed below, after the lock is released: destroying a callable may
    // run arbitrary code.
    return;
  }
  {
    std::lock_guard<std::mutex> idleLock(idleMutex_);
    pending_ += work.size();
  }
  for (Work& item : work) {
    lane.queue.push_back(std::move(item));
  }
  lane.wake.notify_one();
}

bool DispatchLanes::onLaneThread() const { return currentLanes == this; }

void DispatchLanes::waitUntilIdle() {
  if (onLaneThread()) {
    throw std::logic_error(
        "waitUntilIdle called on a notification centre's own thread would wait for itself");
  }
  std::unique_lock<std::mutex> lock(idleMutex_);
  idle_.wait(lock, [this] { return pending_ == 0; });
}

void DispatchLanes::shutDown() {
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(shutDownMutex_);
    if (shutDownClaimed_) {
      return;
    }
    shutDownClaimed_ = true;
    for (auto& lane : lanes_) {
      std::lock_guard<std::mutex> laneLock(lane->mutex);
      lane->stopping = true;
      lane->wake.notify_all();
      threads.push_back(std::move(lane->thread));
    }
  }
  for (std::thread& thread : threads) {
    if (!thread.joinable()) {
      continue;
    }
    if (thread.get_id() == std::this_thread::get_id()) {
      thread.detach();
    } else {
      thread.join();
    }
  }
}

void DispatchLanes::run(Lane& lane) {
  std::unique_lock<std::mutex> lock(lane.mutex);
  while (true) {
    lane.wake.wait(lock, [&lane] { return lane.stopping || !lane.queue.empty(); });
    if (lane.stopping) {
      break;
    }
    Work work = std::move(lane.queue.front());
    lane.queue.pop_front();
    lock.unlock();
    runReportingExceptions(work);
    work = nullptr;
    finished(1);
    lock.lock();
  }
  std::deque<Work> unrun = std::move(lane.queue);
  lane.queue.clear();
  lock.unlock();
  const std::size_t dropped = unrun.size();
  unrun.clear();
  finished(dropped);
}

void DispatchLanes::finished(std::size_t count) {
  if (count == 0) {
    return;
  }
  std::lock_guard<std::mutex> lock(idleMutex_);
  pending_ -= count;
  if (pending_ == 0) {
    idle_.notify_all();
  }
}

}  // namespace quorvane::platform::notifications::internal
