#pragma once

// EnvironmentLife: whether a host environment is still there, and which
// thread is its JavaScript thread, for objects that may outlive it
// (SharedValue).
//
// environmentLife(env) is called on env's JavaScript thread; the first call for
// an environment registers a cleanup hook that marks the record ended (on that
// same thread) when the environment is torn down. Records are shared, so they
// outlive the environment; a later environment at the same address gets a new
// record.
//
// Thread safety: environmentLife may run on several JavaScript threads at once
// (a lock guards the table). `alive` is written only on the environment's own
// thread, so a reader that has checked it is on `jsThread` sees it exactly.

#include <node_api.h>

#include <atomic>
#include <memory>
#include <thread>

namespace quorvane::kestro::napi::internal {

struct EnvironmentLife {
  std::thread::id jsThread;
  std::atomic<bool> alive{true};

  // Whether the calling thread may call the host for this environment now.
  bool callableHere() const {
    return std::this_thread::get_id() == jsThread && alive.load(std::memory_order_relaxed);
  }
};

std::shared_ptr<const EnvironmentLife> environmentLife(napi_env env);

}  // namespace quorvane::kestro::napi::internal
