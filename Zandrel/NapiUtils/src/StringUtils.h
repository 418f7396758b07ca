#pragma once

// Strings between JavaScript and native code, as UTF-8.
//
//   CreateString   a JavaScript string of exactly the given bytes; a failed
//                  creation throws js::Error.
//   GetCXXString   the value's contents as an owned string (no terminating
//                  zero); a value that is not a string, or a failed read,
//                  throws js::Error with the host's message. Errors get the
//                  caller's frame added to their trail.
//   GetCXXStringOrEmptyStringIfNull
//                  "" for null or undefined (without reading), else
//                  GetCXXString; errors get the caller's frame.
//   ReadCXXString  the value's contents into `out`, reusing its storage: one
//                  read when the text fits in what `out` held before (at
//                  least kFirstReadBytes), else a length query and a second
//                  read.
//                  For strings read at a high rate (log calls); errors as
//                  GetCXXString.
//
// JavaScript thread only; each runs in a trace scope named after itself.

#include <node_api.h>

#include <string>
#include <string_view>

#include "Zandrel/js/src/SourceLocation.h"

namespace quorvane::kestro::napi {

inline constexpr size_t kFirstReadBytes = 256;

napi_value CreateString(napi_env env, const char* begin, const char* end);
inline napi_value CreateString(napi_env env, std::string_view text) {
  return CreateString(env, text.data(), text.data() + text.size());
}

std::string GetCXXString(napi_env env, napi_value value, js::SourceLocation caller);
void ReadCXXString(napi_env env, napi_value value, std::string& out, js::SourceLocation caller);
std::string GetCXXStringOrEmptyStringIfNull(napi_env env, napi_value value,
                                            js::SourceLocation caller);

}  // namespace quorvane::kestro::napi
