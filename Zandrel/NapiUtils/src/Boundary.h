#pragma once

// The boundary between native code and the JavaScript host.
//
// Every exported function of every module, and every module's registration
// function, runs its body through WrapCallback; the scheduler does the same
// for work items (Threading.h). Nothing native ever reaches the host:
//
//   js::Error / js::TypeError  a pending JavaScript Error / TypeError whose
//                              message is what() (no code), with the error's
//                              `where` trail appended to its stack;
//   other std::exception       an Error "<run-time type name>: <what()>";
//   anything else              an Error "<unknown exception>".
//
// When a JavaScript exception is already pending (a host call failed because
// JavaScript threw), that exception stands and no second one is raised. On any
// exception the function returns null (undefined to JavaScript).
//
//   napi_value isSupported(napi_env env, napi_callback_info info);
//   ...
//   const napi_property_descriptor exports[] = {
//       Method("isSupported", &Exported<&isSupported>), ...};
//   KESTRO_NAPI_CALL(env, napi_define_properties(env, object, std::size(exports), exports));
//
// JavaScript thread only.

#include <node_api.h>

#include <type_traits>
#include <utility>

namespace quorvane::kestro::napi {

// Inside a catch block: turns the exception being handled into a pending
// JavaScript exception as above. Never throws.
void throwCurrentExceptionToJavaScript(napi_env env) noexcept;

template <typename Body>
napi_value WrapCallback(napi_env env, Body&& body) noexcept {
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<Body&>>) {
      body();
      return nullptr;
    } else {
      return body();
    }
  } catch (...) {
    throwCurrentExceptionToJavaScript(env);
    return nullptr;
  }
}

// The host-facing form of a native function: its body behind WrapCallback.
template <napi_value (*kFunction)(napi_env, napi_callback_info)>
napi_value Exported(napi_env env, napi_callback_info info) noexcept {
  return WrapCallback(env, [env, info] { return kFunction(env, info); });
}

// A method property with default attributes, for napi_define_properties.
constexpr napi_property_descriptor Method(const char* name, napi_callback callback) {
  return {name, nullptr, callback, nullptr, nullptr, nullptr, napi_default, nullptr};
}

}  // namespace quorvane::kestro::napi
