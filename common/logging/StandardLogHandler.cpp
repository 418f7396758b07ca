#include "common/logging/StandardLogHandler.h"

#include "common/logging/LogFormatter.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LogWriter.h"
#include "common/logging/internal/ScratchString.h"

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
  // A message at the sync level is one its caller waits for, so it cannot be
  // part of an overload, and it is the one the sync level promises to keep: it
  // is queued even when the queue is full.
  const bool sync = message.level() >= syncLevel_;
  {
    // The line is formatted into the thread's reusable line string; a writer
    // that copies the text (an asynchronous one) leaves the storage for the
    // next message.
    logging::internal::ScopedScratchString line(logging::internal::ScratchSlot::kFormattedLine);
    formatter_->formatMessageInto(line.text(), message, handlerCategory);
    writer_->writeMessage(std::move(line.text()), sync ? LogWriter::NEVER_DISCARD : 0);
  }
  if (sync) {
    flush();
  }
}

void StandardLogHandler::flush() { writer_->flush(); }

LogHandlerConfig StandardLogHandler::getConfig() const { return config_; }

}  // namespace quorvane
