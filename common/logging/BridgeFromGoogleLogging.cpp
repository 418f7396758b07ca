#include "common/logging/BridgeFromGoogleLogging.h"

#include <chrono>
#include <string>

#include "common/logging/LogCategory.h"
#include "common/logging/LogLevel.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/utilities/FastSystemClock.h"

namespace quorvane {
namespace {

LogLevel levelOfSeverity(google::LogSeverity severity) {
  switch (severity) {
    case google::GLOG_INFO:
      return LogLevel::INFO;
    case google::GLOG_WARNING:
      return LogLevel::WARN;
    case google::GLOG_ERROR:
      return LogLevel::ERR;
    case google::GLOG_FATAL:
      return LogLevel::FATAL;
    default:
      return LogLevel::INFO2;
  }
}

}  // namespace

BridgeFromGoogleLogging::BridgeFromGoogleLogging() { google::AddLogSink(this); }

BridgeFromGoogleLogging::~BridgeFromGoogleLogging() { google::RemoveLogSink(this); }

void BridgeFromGoogleLogging::send(google::LogSeverity severity, const char* fullFilename,
                                   const char* baseFilename, int line, const std::tm*,
                                   const char* message, size_t messageLength) {
  LoggerDB& db = LoggerDB::get();
  LogCategory* category = db.findCategory(fullFilename);
  if (category == nullptr) {
    category = db.categoryFor(fullFilename);
  }
  const LogLevel level = levelOfSeverity(severity);
  if (!category->isEnabled(level)) {
    return;
  }
  // glog's broken-down time holds whole seconds only, so the message is
  // stamped with the current time, read here at full resolution.
  const auto timestamp = FastSystemClock::now();
  LogMessage logMessage(category, level, timestamp, baseFilename, static_cast<unsigned int>(line),
                        std::string_view(), std::string(message, messageLength));
  category->submitMessage(logMessage);
}

}  // namespace quorvane
