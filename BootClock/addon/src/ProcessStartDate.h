#pragma once

// getProcessStartDate: when this process started, as the application asks it
// through bootclock.node.
//
//   getProcessStartDate(...ignored) -> Promise
//
// Arguments are ignored. Each call returns a new promise that is already
// rejected when the call returns: macOS offers no way for a process to read
// its own start time, so the reason is always a JavaScript Error with
//
//   message     "macOS can't tell us the process start time"
//   code        "Error"
//   fileName    this function's source path ("BootClock/addon/src/ProcessStartDate-macOS.cpp")
//   lineNumber  the line of the rejection in that file
//   stack       message + "\n  at " + fileName + ":" + lineNumber
//
// Errors: a host failure while creating the promise or rejecting it throws
// js::Error with the host's message; the module's boundary (Exported in
// Zandrel/NapiUtils/src/Boundary.h) raises it as a JavaScript Error instead of
// returning a promise.
//
// JavaScript thread only; runs in a trace scope "getProcessStartDate".

#include <node_api.h>

namespace quorvane::kestro::bootclock {

// The message of every rejection.
inline constexpr char kNoProcessStartDate[] = "macOS can't tell us the process start time";

napi_value getProcessStartDate(napi_env env, napi_callback_info info);

}  // namespace quorvane::kestro::bootclock
