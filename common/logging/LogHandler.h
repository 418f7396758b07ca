#pragma once

// LogHandler: where a category's dispatch ends. Every category that lists a
// handler holds a shared reference to the one instance; the logger database's
// registry of named handlers only observes it.
//
// Thread safety: handleMessage and flush are called from any thread,
// concurrently, with no framework lock held, so an implementation may log or
// take its own locks. getConfig is called while a configuration is applied or
// reported.

#include "common/logging/LogHandlerConfig.h"

namespace quorvane {

class LogCategory;
class LogMessage;

class LogHandler {
 public:
  virtual ~LogHandler() = default;

  // Handles one message. `handlerCategory` is the category whose handler list
  // this handler was found in: the message's own category, or an ancestor when
  // the message propagated upward. The message reference is valid only during
  // the call.
  virtual void handleMessage(const LogMessage& message, const LogCategory* handlerCategory) = 0;

  // Pushes out everything handled so far.
  virtual void flush() = 0;

  // The configuration the handler was built from (for reporting and merging).
  virtual LogHandlerConfig getConfig() const = 0;
};

}  // namespace quorvane
