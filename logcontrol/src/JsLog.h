#pragma once

// Messages from the application's JavaScript into the log files.
//
// logFromJavaScript(env, category, level, text) logs through this module's own
// logger database, whose levels the logging client keeps equal to logcore's:
// a message below its category's effective level costs reading the category
// name, a cached category lookup and one compare; an admitted one reads its
// text and builds one LogMessage (source file "javascript", line 0, function
// "log") that borrows it, and submits it to the category, whose forwarding
// handler hands it to logcore once. `category` and `text` must be JavaScript
// strings (checked by the caller). Both are read into per-thread buffers that
// are reused from call to call (a buffer past kKeptTextBytes is released after
// the call). Category pointers are cached by name per thread (categories are
// never destroyed), and so is the last level name read with its level.
//
// logFromLogger(env, category, level, text, file, line) logs for a JavaScript
// logger (JsLogger.h) whose level check has been made: it reads the text
// (and, when `file` is not null, the caller's file name and line number) into
// the same per-thread buffers and hands one LogMessage to logcore's
// handleMessage directly, which checks logcore's level and routes it by
// `category`'s name (a category of this module's database). Without `file`
// the message names the file "javascript", line 0, as log() does. `text` and
// `file` must be strings, `line` a number (errors as for ReadCXXString).
//
// levelFromJs reads a level given as a name the framework's level parser
// accepts ("WARN", "dbg3", "LogLevel(1234)", "1500", ...) or as a number (an
// integer 0..4294967295). Unreadable text throws js::Error with the parser's
// message; another number throws js::Error; another type js::TypeError. Fatal
// levels (FATAL and above) throw js::Error: from JavaScript they would end the
// whole process. anyLevelFromJs reads the same without that last check.
//
// Thread safety: any JavaScript thread (main or worker).

#include <node_api.h>

#include <string>
#include <string_view>

#include "Zandrel/js/src/SourceLocation.h"
#include "common/logging/LogLevel.h"

namespace quorvane {
class LogCategory;
}

namespace quorvane::kestro::logcontrol {

inline constexpr std::string_view kJavaScriptFile = "javascript";
inline constexpr unsigned int kJavaScriptLine = 0;
inline constexpr std::string_view kJavaScriptFunction = "log";

inline constexpr size_t kKeptTextBytes = 64 * 1024;

// requireString throws the layer's TypeError ("Received: ... but expected:
// "string"", located at `caller`) unless `value` is a string.
void requireString(napi_env env, napi_value value, js::SourceLocation caller);
LogLevel levelFromJs(napi_env env, napi_value value);
LogLevel anyLevelFromJs(napi_env env, napi_value value);
void logFromJavaScript(napi_env env, napi_value category, LogLevel level, napi_value text);
void logFromLogger(napi_env env, const LogCategory* category, LogLevel level, napi_value text,
                   napi_value file, napi_value line);

}  // namespace quorvane::kestro::logcontrol
