#include "Logging/Shared/Core/tests/ForeignModule.h"

#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "kestro/logcore.h"

namespace foreign_module {

using quorvane::LoggerDB;
using quorvane::LogLevel;

void setLevel(const std::string& category, uint32_t level) {
  LoggerDB::get().setLevel(category, static_cast<LogLevel>(level), false);
}

uint32_t effectiveLevel(const std::string& category) {
  return quorvane::toUnderlying(LoggerDB::get().categoryFor(category)->effectiveLevel());
}

const void* databaseAddress() { return &LoggerDB::get(); }

void logThroughCore(const std::string& category, uint32_t level, const std::string& text) {
  quorvane::LogCategory* c = LoggerDB::get().categoryFor(category);
  quorvane::LogMessage message(c, static_cast<LogLevel>(level), "src/foreign/Addon.cpp", 9,
                               "logThroughCore", std::string(text));
  quorvane::kestro::logging::handleMessage(message, c);
}

}  // namespace foreign_module
