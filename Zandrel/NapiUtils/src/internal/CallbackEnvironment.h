#pragma once

// CallbackEnvironment: one host environment's end of the scheduler: its
// wake-up handle (a libuv async handle on the environment's event loop,
// unreferenced) and its work queue (WakingQueue.h).
//
// Who may call what
//   open, runQueuedWork, holdLoop, close, drainCount: the environment's
//       JavaScript thread.
//   schedule, and dropping a hold: any thread.
//
// Lifetime: shared. The registry (Threading.cpp) holds it while the
// environment lives; every WakeUpHandle (executors, producers) holds it too,
// so its queue outlives every producer. close() (from the environment's
// cleanup hook) closes the queue, then the handle; until libuv reports the
// handle closed the object keeps itself alive.
//
// Internal: use Threading.h.

#include <node_api.h>
#include <uv.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "Zandrel/NapiUtils/src/Threading.h"
#include "Zandrel/NapiUtils/src/internal/WakingQueue.h"

namespace quorvane::kestro::napi::internal {

class CallbackEnvironment : public std::enable_shared_from_this<CallbackEnvironment> {
  struct Token {};

 public:
  // Initialises the handle on env's loop; throws js::Error on a host or libuv
  // failure.
  static std::shared_ptr<CallbackEnvironment> open(napi_env env);

  CallbackEnvironment(Token, napi_env env);
  CallbackEnvironment(const CallbackEnvironment&) = delete;
  CallbackEnvironment& operator=(const CallbackEnvironment&) = delete;

  napi_env env() const { return env_; }

  bool schedule(QueuedWork&& work) { return queue_.push(std::move(work)); }

  // Drains the queue (see Threading.h), then lets the loop go when no hold is
  // left.
  void runQueuedWork();

  std::shared_ptr<void> holdLoop();

  // The environment ends: refuses later work, drops queued items, destroys
  // this thread's async context for it and closes the handle. Logs at INFO
  // how many items were dropped, if any: those still queued and those the
  // host refused to run because the environment was ending (which log no
  // ERR line; work refused after this call is not counted).
  void close();

  // How many non-empty drains have run (for tests).
  uint64_t drainCount() const { return drainCount_; }

 private:
  static void wakeUp(void* self);
  void drainBatch();
  void runItem(QueuedWork& item, napi_async_context context);
  void releaseHold() noexcept;
  void releaseLoopIfUnheld();

  const napi_env env_;
  uv_async_t handle_{};
  WakingQueue<QueuedWork> queue_;
  std::atomic<int64_t> holds_{0};
  // JavaScript thread only.
  bool loopReferenced_ = false;
  uint64_t drainCount_ = 0;
  // Set once the environment no longer runs JavaScript: nothing is drained
  // after that, close() drops the rest.
  bool ending_ = false;
  uint64_t droppedAtEnd_ = 0;
  std::shared_ptr<CallbackEnvironment> selfUntilClosed_;
};

// Removes this thread's async context for `env`, destroying it in the host.
void forgetAsyncContext(napi_env env);

}  // namespace quorvane::kestro::napi::internal
