#pragma once

// The native half of the JavaScript loggers (getLogger; the JavaScript half is
// Logger.js, compiled into the module as text).
//
// defineGetLogger(env, exports) runs Logger.js in the environment, hands it
// the functions below and defines `exports.getLogger` (a method property, like
// the module's other exports) as the function it returns:
//
//   category(name)   [canonical name, slot, write]: the category's logger slot
//                    (LoggerLevels.h) and a function bound to the category of
//                    that name in this module's database,
//                      write(level, text[, file, line])
//                    which logs `text` at the level number `level` (checked by
//                    the caller, never fatal) through logFromLogger (JsLog.h).
//   levelPage(page)  a Uint32Array of kSlotsPerPage levels: this environment's
//                    page of slot levels, kept current until the environment
//                    ends (its buffer is held until then).
//   levelOf(level)   the number of a level given as log() takes it (fatal
//                    levels allowed); errors as anyLevelFromJs.
//   slotsPerPage     kSlotsPerPage.
//
// Every function runs behind the module's boundary (Boundary.h). A failing
// script or host call throws js::Error.
//
// JavaScript thread only (main or worker).

#include <node_api.h>

namespace quorvane::kestro::logcontrol {

void defineGetLogger(napi_env env, napi_value exports);

}  // namespace quorvane::kestro::logcontrol
