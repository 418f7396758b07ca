#include "common/logging/StandardLogHandler.h"

#include "common/logging/LogFormatter.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LogWriter.h"

namespace quorvane {

StandardLogHandler::StandardLogHandler(LogHandlerConfig config,
                                       std::shared_ptr<LogFormatter> formatter,
                                       std::shared_ptr<LogWriter> writer, LogLevel syncLevel)
    : syncLevel_(syncLevel),
      formatter_(std::move(formatter)),
      writer_(std::move(writer)),
      config_(std::move(config)) {}

StandardLogHandler::~StandardLogHandler() = default;

void StandardLogHandler::handleMessage(const LogMessage& message,
                                       const LogCategory* handlerCategory) {
  if (message.level() < getLevel()) {
    return;
  }
  if (message.level() < syncLevel_) {
    writer_->writeMessage(formatter_->formatMessage(message, handlerCategory), 0);
    return;
  }
  // The caller waits for this message to be written, so it cannot be part of
  // an overload, and it is the one the sync level promises to keep: it is
  // queued even when the queue is full.
  writer_->writeMessage(formatter_->formatMessage(message, handlerCategory),
                        LogWriter::NEVER_DISCARD);
  flush();
}

void StandardLogHandler::flush() { writer_->flush(); }

LogHandlerConfig StandardLogHandler::getConfig() const { return config_; }

}  // namespace quorvane
