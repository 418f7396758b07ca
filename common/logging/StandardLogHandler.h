#pragma once

// StandardLogHandler: a level filter in front of a formatter and a writer.
//
// Each message at or above the handler's level is formatted and handed to the
// writer (an asynchronous writer may drop it under overload); a message at or
// above the sync level is handed over with NEVER_DISCARD, so that overload
// never drops it, and then followed by a writer flush, so it has reached the
// operating system when the logging call returns.
//
// Thread safety: handleMessage and flush may run on any number of threads at
// once. The level is one atomic word and may change while messages flow;
// everything else is fixed at construction. The formatter keeps no
// per-message state and the writer serialises internally.
//
// Lifetime: held by shared ownership by the categories that list it;
// destroying it releases the writer, which writes out what it still queues.

#include <atomic>
#include <memory>

#include "common/logging/LogHandler.h"
#include "common/logging/LogHandlerConfig.h"
#include "common/logging/LogLevel.h"

namespace quorvane {

class LogFormatter;
class LogWriter;

class StandardLogHandler : public LogHandler {
 public:
  StandardLogHandler(LogHandlerConfig config, std::shared_ptr<LogFormatter> formatter,
                     std::shared_ptr<LogWriter> writer, LogLevel syncLevel = LogLevel::MAX_LEVEL);
  ~StandardLogHandler() override;

  void handleMessage(const LogMessage& message, const LogCategory* handlerCategory) override;
  void flush() override;
  // A copy of the type and the complete options the handler was built from.
  LogHandlerConfig getConfig() const override;

  // Messages below the level are ignored; initially NONE (everything passes).
  LogLevel getLevel() const { return level_.load(std::memory_order_relaxed); }
  void setLevel(LogLevel level) { level_.store(level, std::memory_order_relaxed); }
  LogLevel getSyncLevel() const { return syncLevel_; }

  const std::shared_ptr<LogFormatter>& getFormatter() const { return formatter_; }
  const std::shared_ptr<LogWriter>& getWriter() const { return writer_; }

 private:
  std::atomic<LogLevel> level_{LogLevel::NONE};
  const LogLevel syncLevel_;
  const std::shared_ptr<LogFormatter> formatter_;
  const std::shared_ptr<LogWriter> writer_;
  const LogHandlerConfig config_;
};

}  // namespace quorvane
