#pragma once

// The base of the Node-API utilities: checking host calls, type checks,
// reading a call's arguments and calling JavaScript.
//
// Every operation runs on the JavaScript thread of the environment it is given,
// inside a synchronous trace scope named after itself. Failures are native
// errors (Zandrel/js/src/Exception.h); the boundary (Boundary.h) turns them
// into JavaScript exceptions.
//
// KESTRO_NAPI_CALL(env, napi_...(...)): the one check around host calls. A
// status other than napi_ok reads the host's last-error information first (any
// other host call would reset it), then throws js::Error with the host's
// message, located at the enclosing function. A call refused with
// napi_pending_exception while no JavaScript exception is pending means the
// host no longer runs JavaScript for this environment (it is ending): that
// throws js::EnvironmentEnding, which writes no ERR line.
//
// Type checks. napi_type_check throws TypeError
//   Received: "number" but expected: "string or null or undefined"
// (the actual type's name, the listed names joined by " or ", each in double
// quotes), located at this file's napi_type_check, with the caller's frame
// added to its trail. CheckType counts a failed type query as no match.
//
// CallJSCallback calls a function through the host's make-callback entry (so
// microtasks run afterwards, under the given async context). An unset argument
// (a null handle) throws "Passing null argument. If you want to pass null to
// JS, use GetNull(env)" before anything is called; pass GetNull(env) for null.
// A JavaScript exception thrown by the function never comes back into native
// code: it is handed to the host as an uncaught exception (the process's
// 'uncaughtException' handlers, else the process ends), and the call returns
// null.

#include <node_api.h>

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "Zandrel/js/src/Exception.h"

#define KESTRO_NAPI_CALL(env, call)                                                       \
  do {                                                                                    \
    if (const napi_status kestroNapiStatus_ = (call); kestroNapiStatus_ != napi_ok)       \
      ::quorvane::kestro::napi::throwLastError((env), kestroNapiStatus_, ZANDREL_HERE()); \
  } while (false)

namespace quorvane::kestro::napi {

// Throws js::Error with the host's last-error message (or, without one, the
// status number), located at `location`.
[[noreturn]] void throwLastError(napi_env env, napi_status status, js::SourceLocation location);

// The name of a value type as type errors print it; "undefined" for anything
// unknown.
std::string_view _typeToString(napi_valuetype type);

bool CheckType(napi_env env, napi_value value, napi_valuetype type);
bool MatchesAnyType(napi_env env, napi_value value, const napi_valuetype* types, size_t count);
void napi_type_check(napi_env env, napi_value value, const napi_valuetype* types, size_t count,
                     js::SourceLocation caller);
inline void napi_type_check(napi_env env, napi_value value,
                            std::initializer_list<napi_valuetype> types,
                            js::SourceLocation caller) {
  napi_type_check(env, value, types.begin(), types.size(), caller);
}

napi_value CallJSCallback(napi_env env, napi_value receiver, napi_value function,
                          napi_async_context context, const std::vector<napi_value>& arguments);

// The arguments and `this` of a call, with room for kCapacity arguments;
// `count` is how many the caller passed (it may exceed kCapacity). Unpassed
// places hold undefined.
template <size_t kCapacity>
struct CallbackArguments {
  napi_value thisValue = nullptr;
  std::array<napi_value, kCapacity> values{};
  size_t count = kCapacity;
};

template <size_t kCapacity>
CallbackArguments<kCapacity> GetCallbackArguments(napi_env env, napi_callback_info info) {
  CallbackArguments<kCapacity> args;
  KESTRO_NAPI_CALL(
      env, napi_get_cb_info(env, info, &args.count, args.values.data(), &args.thisValue, nullptr));
  return args;
}

// Throws js::Error "Wrong number of arguments" at `caller` unless
// count == expected.
void requireArgumentCount(size_t count, size_t expected, js::SourceLocation caller);

// The arguments of a call that takes exactly kCount: any other count throws
// as requireArgumentCount.
template <size_t kCount>
CallbackArguments<kCount> GetExactCallbackArguments(napi_env env, napi_callback_info info,
                                                    js::SourceLocation caller) {
  auto args = GetCallbackArguments<kCount>(env, info);
  requireArgumentCount(args.count, kCount, caller);
  return args;
}

}  // namespace quorvane::kestro::napi
