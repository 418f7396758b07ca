#pragma once

// Booleans, null and 32-bit integers between JavaScript and native code.
//
//   GetBool      checks the value is a boolean (TypeError located at this
//                file's GetBool otherwise) and reads it.
//   GetNull      the host's null value.
//   GetUndefined the host's undefined value; a failed host call throws
//                js::Error.
//   CreateInt32  a JavaScript number; a failed creation throws js::Error.
//   CreateBool   the number 0 or 1 coerced by the host to a boolean (not the
//                host's boolean singletons); a failed coercion throws js::Error.
//
// JavaScript thread only; each runs in a trace scope named after itself.

#include <node_api.h>

#include <cstdint>

namespace quorvane::kestro::napi {

bool GetBool(napi_env env, napi_value value);
napi_value GetNull(napi_env env);
napi_value GetUndefined(napi_env env);
napi_value CreateBool(napi_env env, bool value);
napi_value CreateInt32(napi_env env, int32_t value);

}  // namespace quorvane::kestro::napi
