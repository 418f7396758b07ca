#pragma once

// Configuration values between JavaScript and the framework's dynamic.
//
// dynamicFromJs: null -> null; booleans; numbers that are safe integers
// (integral, |n| <= 2^53 - 1) -> 64-bit integers, other numbers -> doubles;
// strings; arrays -> arrays; other objects -> objects of their own enumerable
// string-keyed properties. Any other kind (undefined, function, symbol,
// bigint, external) throws js::TypeError naming where it was found, e.g.
//   Can't convert the value at config.handlers.main.options.async: Received:
//   "function" but expected: "null or boolean or number or string or object"
// Nesting deeper than kMaxDepth levels (a cycle, or absurd input) throws
// js::TypeError instead of exhausting the stack.
//
// jsFromDynamic: the reverse; integers become numbers, object keys are written
// in sorted order (a dynamic object has none of its own) so the result reads
// the same every time.
//
// JavaScript thread only. Host failures throw js::Error.

#include <node_api.h>

#include <cstddef>

#include "common/utilities/Dynamic.h"

namespace quorvane::kestro::logcontrol {

inline constexpr size_t kMaxDepth = 64;

dynamic dynamicFromJs(napi_env env, napi_value value);
napi_value jsFromDynamic(napi_env env, const dynamic& value);

}  // namespace quorvane::kestro::logcontrol
