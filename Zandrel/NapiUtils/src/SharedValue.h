#pragma once

// SharedValue: keeps a JavaScript value alive across calls and threads.
//
//   auto handler = SharedValue::create(env, args.values[1]);   // JS thread
//   ... copies of `handler` travel to other threads and back ...
//   napi_value fn = handler->value();                          // JS thread
//
// Holds a host reference (count 1) to the value, pinning it for the garbage
// collector until the last owner lets go; always held by shared ownership.
//
// Lifetimes and threads. Create and read on the environment's JavaScript
// thread. Copies of the shared pointer may be made, moved and dropped on any
// thread. The destructor gives the reference back to the host only when it
// runs on that JavaScript thread while the environment is alive; anywhere else
// (another thread, or after the environment ended, e.g. a work item dropped by
// a producer after a worker was terminated) it does not call the host at all:
// the reference is left to the environment's own teardown. Never a call into a
// dead environment or from a foreign thread.
//
// Errors: create and value() throw js::Error with the host's message.

#include <node_api.h>

#include <memory>

namespace quorvane::kestro::napi {

namespace internal {
struct EnvironmentLife;
}

class SharedValue {
  struct Token {};

 public:
  static std::shared_ptr<SharedValue> create(napi_env env, napi_value value);

  SharedValue(Token, napi_env env, napi_ref reference,
              std::shared_ptr<const internal::EnvironmentLife> life);
  ~SharedValue();
  SharedValue(const SharedValue&) = delete;
  SharedValue& operator=(const SharedValue&) = delete;

  napi_env env() const { return env_; }
  // The referenced value, in the caller's handle scope.
  napi_value value() const;

 private:
  napi_env env_;
  napi_ref reference_;
  std::shared_ptr<const internal::EnvironmentLife> life_;
};

}  // namespace quorvane::kestro::napi
