#pragma once

// Test support for the core library's exported interface: messages are built
// in a logger database of the test's own (as another module would) and handed
// to the core library's handleMessage.

#include <string>
#include <string_view>

#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "kestro/logcore.h"

namespace quorvane::test {

class ForeignLogger {
 public:
  // Builds a message on `category` of this module's own database and routes it
  // through the core library.
  void log(std::string_view category, LogLevel level, std::string text) {
    LogCategory* c = db_.categoryFor(category);
    LogMessage message(c, level, "src/foreign/Module.cpp", 42, "send", std::move(text));
    kestro::logging::handleMessage(message, c);
  }
  // The same with the time the message carries.
  void logAt(std::string_view category, LogLevel level, LogMessage::TimePoint timestamp,
             std::string text) {
    LogCategory* c = db_.categoryFor(category);
    LogMessage message(c, level, timestamp, "src/foreign/Module.cpp", 42, "send", std::move(text));
    kestro::logging::handleMessage(message, c);
  }
  LoggerDB& db() { return db_; }

 private:
  LoggerDB db_;
};

}  // namespace quorvane::test
