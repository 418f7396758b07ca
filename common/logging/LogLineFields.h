#pragma once

// LogLineFields: what a line formatter prints of one message, taken out of the
// message once: the level and its letter, the local calendar time, the
// microseconds, the thread id, the source location, the context and the text.
//
// Also the level names and letters the line layouts share:
//   below 2000 VERBOSE (V), 2000-2999 INFO (I), 3000-3999 WARNING (W),
//   4000-4999 ERROR (E), 5000 up to DFATAL CRITICAL (C), DFATAL and FATAL
//   FATAL (F). Only the letter is printed, so DFATAL prints as F.
//
// Lifetimes: the string views point into the message (or into static text the
// message refers to); the fields are valid while the message is.
//
// Thread safety: fieldsOf may be called from any thread.

#include <cstdint>
#include <ctime>
#include <string_view>

#include "common/logging/LogLevel.h"

namespace quorvane {

class LogMessage;

constexpr std::string_view logLineLevelName(LogLevel level) {
  if (level < LogLevel::INFO) {
    return "VERBOSE";
  }
  if (level < LogLevel::WARN) {
    return "INFO";
  }
  if (level < LogLevel::ERR) {
    return "WARNING";
  }
  if (level < LogLevel::CRITICAL) {
    return "ERROR";
  }
  if (level < LogLevel::DFATAL) {
    return "CRITICAL";
  }
  return "FATAL";
}

constexpr char logLineLevelLetter(LogLevel level) { return logLineLevelName(level)[0]; }

struct LogLineFields {
  LogLevel level;
  char levelLetter;
  // Local calendar time of the timestamp's second; all zero when the
  // breakdown failed.
  std::tm time;
  uint32_t microseconds;
  uint64_t threadId;
  std::string_view fileBaseName;
  std::string_view functionName;
  unsigned int lineNumber;
  // Empty, or starting with a blank.
  std::string_view context;
  std::string_view text;
  uint64_t newlineCount;

  static LogLineFields of(const LogMessage& message);
};

}  // namespace quorvane
