#pragma once

// rejectWithMessage: rejects a promise with a JavaScript error object carrying
// where the failure was noticed:
//
//   message     `message`
//   code        "Error"
//   fileName    `fileName`
//   lineNumber  `lineNumber` (a number)
//   stack       `message` + "\n  at " + `fileName` + ":" + `lineNumber`
//
// Callers pass their own source path and line. A failure to make the error
// or to reject throws js::Error (the promise then stays unsettled).
//
// JavaScript thread only; runs in a trace scope "rejectWithMessage". A file of
// its own, so that modules without the scheduler carry none of it.

#include <node_api.h>

#include <cstdint>
#include <string>

namespace quorvane::kestro::napi {

void rejectWithMessage(napi_env env, napi_deferred deferred, const std::string& message,
                       const char* fileName, int32_t lineNumber);

}  // namespace quorvane::kestro::napi
