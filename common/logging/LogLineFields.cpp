#include "common/logging/LogLineFields.h"

#include "common/logging/LogMessage.h"
#include "common/utilities/LocalTime.h"

namespace quorvane {

LogLineFields LogLineFields::of(const LogMessage& message) {
  const SplitTimestamp split = splitTimestamp(message.timestamp());
  return LogLineFields{
      message.level(),
      logLineLevelLetter(message.level()),
      cachedLocalCalendarTime(split.seconds),
      split.microseconds,
      message.threadId(),
      message.fileBaseName(),
      message.functionName(),
      message.lineNumber(),
      message.contextString(),
      message.messageText(),
      message.newlineCount(),
  };
}

}  // namespace quorvane
