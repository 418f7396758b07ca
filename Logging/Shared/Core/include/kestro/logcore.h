#pragma once

// The exported interface of the logging core library (liblogcore): its ten
// functions, declared here once for the code in this tree and for the
// installed package (include <kestro/logcore.h>).
//
// The core library owns the application's log files. The application calls
// initLogging once it knows where logs go and who the user is; from then on
// four channels write rotating files (see ChannelConfig.h). Other modules
// carry their own copy of the logging framework and hand their messages to
// handleMessage; they follow the core's levels through the
// configuration-changed triggers.
//
// Framework types cross this boundary as native objects (a LogMessage by
// const reference, a LogConfig and a dynamic by value), so callers are built
// against the same framework sources as the library.
//
// Thread safety: handleMessage, flushLogs, getLoggerConfig,
// getCompleteMasterLogConfig and the trigger functions may be called from any
// thread. initLogging, updateLoggingWithUserId and deinitLogging are called by
// the application from one thread at a time.

#include <string>

#include "common/logging/LogConfig.h"
#include "common/utilities/Dynamic.h"

#define KESTRO_LOGCORE_EXPORT __attribute__((visibility("default")))

namespace quorvane {
class LogCategory;
class LogMessage;
}  // namespace quorvane

namespace quorvane::kestro::logging {

// Registers the channel handler types, applies the four-channel configuration
// (files under `logDirectory`, named with `fileTag`, the process id and
// `userId`; the trace channel only when `traceEnabled`), bridges glog's
// messages into the core's categories, stores the user id and fires the
// triggers. The directory must exist. Never throws: a failing step ends the
// call silently, leaving earlier steps done. Calling it again rebuilds the
// channels, so each starts a new file.
KESTRO_LOGCORE_EXPORT void initLogging(std::string logDirectory, std::string fileTag,
                                       std::string userId, bool traceEnabled);

// Flushes, then detaches and destroys every handler (writers finish their
// queues and close their files) and forgets the handler types. Later messages
// reach nothing until initLogging runs again.
KESTRO_LOGCORE_EXPORT void deinitLogging();

// Returns when every channel has written what was logged before the call.
KESTRO_LOGCORE_EXPORT void flushLogs();

// Moves every channel to new files named with `userId` (the next line of each
// channel opens one); files already written stay. Does nothing when the id is
// the stored one. Never throws.
KESTRO_LOGCORE_EXPORT void updateLoggingWithUserId(std::string userId);

// The running configuration: named handlers and the categories whose settings
// differ from a fresh category's.
KESTRO_LOGCORE_EXPORT LogConfig getLoggerConfig();

// Routes a message logged in another module: by the name of the message's own
// category, through the core's category of that name (created if needed) and
// the core's levels. `handlerCategory` is not used. A FATAL message ends the
// process after flushing the core's handlers.
KESTRO_LOGCORE_EXPORT void handleMessage(const LogMessage& message,
                                         const LogCategory* handlerCategory);

// Adds or removes a function called after every configuration change made by
// initLogging or setCompleteMasterLogConfig (see ConfigChangedTriggers.h).
KESTRO_LOGCORE_EXPORT void addLogConfigChangedTrigger(void (*trigger)());
KESTRO_LOGCORE_EXPORT void removeLogConfigChangedTrigger(void (*trigger)());

// The complete configuration (every category) as a JSON-shaped value with the
// members "categories" and "handlers".
KESTRO_LOGCORE_EXPORT dynamic getCompleteMasterLogConfig();

// Replaces the running configuration with `config` (categories not named lose
// their handlers and return to their default levels), then fires the
// triggers. Throws LogConfigParseError for a value of the wrong shape and
// std::invalid_argument when the configuration cannot be applied; in both
// cases nothing changed and no trigger ran.
KESTRO_LOGCORE_EXPORT void setCompleteMasterLogConfig(dynamic config);

}  // namespace quorvane::kestro::logging
