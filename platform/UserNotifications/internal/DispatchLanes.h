#pragma once

// DispatchLanes: a fixed number of serial work queues ("lanes"), each served
// by a thread of its own, on which a notification centre runs completions and
// delegate calls.
//
// Who may call what:
// - dispatch, dispatchOn, nextLane: any thread, a lane included, at any time.
//   dispatch queues on the next lane in turn; dispatchOn queues a sequence of
//   work, in order, on one lane. Neither waits for the work. After shutDown
//   the work is destroyed on the calling thread instead, never run.
// - waitUntilIdle: any thread except a lane (std::logic_error there, as it
//   would wait for itself). Returns once nothing is queued or running, work
//   queued meanwhile included.
// - shutDown: any thread; idempotent. Each lane finishes the work it is
//   running, destroys its queued work unrun and ends; the first caller joins
//   the lanes (a lane that calls it is detached instead). A concurrent second
//   call may return before the lanes have ended.
// - onLaneThread: whether the calling thread is one of these lanes.
// The destructor shuts down and must not run on one of the lanes.
//
// Work runs with no lock of this class held. An exception escaping it is
// caught and reported on standard error; the lane carries on.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace quorvane::platform::notifications::internal {

class DispatchLanes {
 public:
  using Work = std::function<void()>;

  // Starts `count` lanes (at least one), named `threadName` + their index.
  // Throws std::invalid_argument for zero, std::system_error when a thread
  // cannot be started (the lanes already started are shut down first).
  DispatchLanes(std::size_t count, std::string_view threadName);
  ~DispatchLanes();
  DispatchLanes(const DispatchLanes&) = delete;
  DispatchLanes& operator=(const DispatchLanes&) = delete;

  std::size_t laneCount() const { return lanes_.size(); }
  std::size_t nextLane();
  void dispatch(Work work);
  void dispatchOn(std::size_t lane, std::vector<Work> work);
  bool onLaneThread() const;
  void waitUntilIdle();
  void shutDown();

 private:
  struct Lane;

  void run(Lane& lane);
  void finished(std::size_t count);

  std::vector<std::unique_ptr<Lane>> lanes_;
  std::atomic<std::size_t> next_{0};
  std::mutex idleMutex_;
  std::condition_variable idle_;
  std::size_t pending_ = 0;
  std::mutex shutDownMutex_;
  bool shutDownClaimed_ = false;
};

}  // namespace quorvane::platform::notifications::internal
