#pragma once

// Scheduling onto the JavaScript thread.
//
// Threads that must not touch the host (platform completions, delegate calls)
// hand work to the JavaScript thread of a host environment: they push a work
// item into the environment's queue and wake its event loop; there a wake-up
// handler drains the queue and runs each item inside a handle scope and with
// the thread's host async context, so items may create values, settle promises
// and call JavaScript (Base.h, CallJSCallback).
//
//   // registration, JavaScript thread, after defining the exports:
//   setupEnvironmentForCallbacks(env);
//
//   // an exported function, JavaScript thread:
//   ExecutorInCurrentLoop<napi_deferred, bool, std::string> settle(
//       "settleDelivery", env, deferred, &settleDelivery, KeepsLoopAlive::Yes);
//   startPlatformCall([settle](bool ok, std::string text) { settle(ok, std::move(text)); });
//
// Who may call what
//   setupEnvironmentForCallbacks   JavaScript thread, once per environment (at
//                                  registration). Logs "Setting up environment
//                                  <pointer> for async callbacks" at INFO. A
//                                  second call for the same environment keeps
//                                  the first set-up.
//   asyncForEnv                    JavaScript thread. The environment's wake-up
//                                  handle; js::Error "Can't run callbacks, this
//                                  env is not setup" for an environment never
//                                  set up (or already ended).
//   scheduleAsyncWork              any thread, never blocks or waits for the
//                                  JavaScript thread.
//   runQueuedWork                  the event loop of the environment (the
//                                  handle's callback).
//   getQsynCallbackContext         JavaScript thread, inside runQueuedWork.
//   ExecutorInCurrentLoop          made on the JavaScript thread (throws like
//                                  asyncForEnv); copied, called and dropped on
//                                  any thread, any number of times.
//
// Order: one drain runs every queued item, one after another, in the order the
// producers claimed their places (so each producer's items in the order it
// scheduled them), including items scheduled while the drain runs. Items of
// one environment never run concurrently, and never in another environment.
//
// Failures inside items: a native exception is caught at the item, logged at
// ERR, and the drain goes on with the next item; a JavaScript exception left
// pending by an item becomes a host-level uncaught exception. An item whose
// host call was refused because the environment is ending
// (js::EnvironmentEnding) has not failed: it and the items after it are
// dropped without an ERR line (see below).
//
// The event loop. The wake-up handle does not keep the loop alive: a process
// that only loaded a module exits by itself. While the loop runs, scheduled
// work still wakes it. Work that the process should wait for (a promise to be
// settled from another thread) holds the loop open: an executor made with
// KeepsLoopAlive::Yes keeps it alive while any copy of it, or any item it
// scheduled, exists (holdLoopOpen for other uses).
//
// Environments end (a worker thread terminates; the main thread exits). Then
// the handle is closed, queued items are destroyed without running (one INFO
// line, "Environment <pointer> ended: dropped <n> work items that could no
// longer run", counts them with those the host refused to run while the
// environment was ending), and later scheduling is refused: scheduleAsyncWork
// returns false and the work is destroyed on the scheduling thread without
// running (a SharedValue in it does not call the host then, SharedValue.h).
// Nothing a producer can still reach is freed: handles keep the environment's
// queue alive.

#include <node_api.h>
#include <uv.h>

#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "Logging/Shared/Client/src/CallTracing.h"
#include "Zandrel/NapiUtils/src/Rejection.h"
#include "Zandrel/NapiUtils/src/internal/HotPathTracing.h"
#include "Zandrel/NapiUtils/src/internal/UniqueFunction.h"

namespace quorvane::kestro::napi {

namespace internal {
class CallbackEnvironment;
}

// The wake-up handle of one environment, with its queue.
using WakeUpHandle = std::shared_ptr<internal::CallbackEnvironment>;
using WorkFunction = internal::UniqueFunction<void(napi_async_context)>;

// One work item: the work and, while tracing is on, its flow trace
// "ScheduleOnJS", started when the item is made and finished when it is
// destroyed after running (internal/HotPathTracing.h: with tracing off an item
// carries no flow object, so a queue slot stays small).
class QueuedWork {
 public:
  explicit QueuedWork(WorkFunction work)
      : work_(std::move(work)), flow_(internal::startHotPathFlow("ScheduleOnJS")) {}
  void operator()(napi_async_context context) { work_(context); }

 private:
  WorkFunction work_;
  std::unique_ptr<logging::FlowTracing> flow_;
};

// The host async context of one JavaScript thread for one environment
// (resource name "QSYN Callback", no resource object).
struct AsyncContext {
  napi_env env = nullptr;
  napi_async_context context = nullptr;
};

void setupEnvironmentForCallbacks(napi_env env);
WakeUpHandle asyncForEnv(napi_env env);
// True when queued; false when the environment has ended (`work` destroyed).
bool scheduleAsyncWork(const WakeUpHandle& handle, WorkFunction work);
void runQueuedWork(uv_async_t* handle) noexcept;
AsyncContext& getQsynCallbackContext(napi_env env);
// JavaScript thread. Keeps the environment's event loop alive until the
// returned token and all its copies are gone (they may go on any thread).
std::shared_ptr<void> holdLoopOpen(const WakeUpHandle& handle);

enum class KeepsLoopAlive : bool { No = false, Yes = true };

// A callable that carries results from any thread to `handler` on the
// JavaScript thread: each call queues one item that runs
//   handler(env, asyncContext, context, results...)
// inside a trace scope named `name`, then destroys the results there.
// The context values (a promise's deferred, SharedValue owners, ...) are copied
// into every item.
template <typename Context, typename... Results>
class ExecutorInCurrentLoop {
 public:
  using Handler = void (*)(napi_env env, napi_async_context asyncContext, const Context& context,
                           Results&... results);

  ExecutorInCurrentLoop(std::string name, napi_env env, Context context, Handler handler,
                        KeepsLoopAlive keepsLoopAlive = KeepsLoopAlive::No)
      : name_(std::move(name)), env_(env), context_(std::move(context)), handler_(handler) {
    logging::SyncTracing trace("CreateExecutorInCurrentLoop");
    {
      logging::SyncTracing fetch("ExecutorInCurrentLoop");
      handle_ = asyncForEnv(env);
    }
    if (keepsLoopAlive == KeepsLoopAlive::Yes) {
      hold_ = holdLoopOpen(handle_);
    }
  }

  // Any thread. False when the environment has ended (nothing will run).
  bool operator()(Results... results) const {
    logging::SyncTracing trace("operator()");
    return scheduleAsyncWork(handle_,
                             Run{name_, env_, context_, handler_, hold_, {std::move(results)...}});
  }

 private:
  struct Run {
    std::string name;
    napi_env env;
    Context context;
    Handler handler;
    std::shared_ptr<void> hold;
    std::tuple<Results...> results;

    void operator()(napi_async_context asyncContext) {
      logging::SyncTracing trace(std::move(name));
      std::apply([&](Results&... values) { handler(env, asyncContext, context, values...); },
                 results);
    }
  };

  std::string name_;
  napi_env env_;
  Context context_;
  Handler handler_;
  WakeUpHandle handle_;
  std::shared_ptr<void> hold_;
};

}  // namespace quorvane::kestro::napi
