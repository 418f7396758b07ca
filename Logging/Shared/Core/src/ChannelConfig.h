#pragma once

// The core library's four log channels and the configuration that routes
// categories to them.
//
//   handler     type         layout                      file name prefix
//   kestroLog   kestroGlog   KestroStyleFormatter        <dir>/kestro-<tag>-
//   qsynLog     kestroXqsyn  QsynStyleLogFormatter       <dir>/qsyn-<tag>-
//   rtcLog      kestroRtc    QsynStyleLogFormatter       <dir>/rtc-<tag>-
//   traceLog    kestroTrace  SystraceStyleLogFormatter   <dir>/trace-<tag>-
//
// Every channel flushes after WARN and above, and its files end in
// "-p<pid>-id<user id>.log". The main log takes INFO and above from every
// category, but only WARN and above from "qsyn" and "trace" and only ERR and
// above from "rtc"; the sync-engine log takes "qsyn" from DBG (its two network
// categories from INFO); the rtc log takes "rtc" from DBG; the trace log, only
// when tracing is on, takes "trace" from DBG. With tracing off "trace" has no
// handler of its own (its WARN and above reach the main log through the root),
// also when the configuration is merged over one with tracing on.
//
// Thread safety: pure functions, except registerChannelHandlerFactories, which
// is as safe as LoggerDB::addHandlerFactory.

#include <sys/types.h>
#include <string>
#include <string_view>

#include "common/logging/LogConfig.h"

namespace quorvane {
class LoggerDB;
}

namespace quorvane::kestro::logging {

// "-p" + pid + "-id" + userId + ".log", concatenated as is.
std::string logFileSuffix(pid_t pid, std::string_view userId);

// The handlers and categories of the four channels. `logDirectory` is used
// unchanged (no separator is added or removed besides the "/" of the prefix).
LogConfig channelConfig(std::string_view logDirectory, std::string_view fileTag,
                        std::string_view suffix, bool traceEnabled);

// Registers the four channel handler types, replacing any existing factory
// of the same type.
void registerChannelHandlerFactories(LoggerDB& db);

}  // namespace quorvane::kestro::logging
