#pragma once

// LogMessage: the immutable record of one log call.
//
// Built on the logging thread, passed by const reference to every handler and
// across the core library's boundary, and never kept by the framework after the
// call returns (a handler that works later keeps its own formatted copy).
//
// Construction reads the calling thread's OS id, copies the context text of the
// category's logger database, takes the text over by move and sanitises it for
// one-line log files: backslashes are doubled, control bytes other than tab and
// newline (and 0x7f) become \xNN; tabs, newlines and bytes >= 0x80 are kept.
// Nothing is allocated for the sanitised copy when no byte needs escaping.
//
// Lifetimes: the file and function names are views of static text of the
// caller's program image; the category outlives every message (categories are
// never destroyed).

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/logging/LogLevel.h"

namespace quorvane {

class LogCategory;

class LogMessage {
 public:
  using Clock = std::chrono::system_clock;
  using TimePoint = Clock::time_point;

  // Timestamp: the current wall-clock time.
  LogMessage(const LogCategory* category, LogLevel level, std::string_view filename,
             unsigned int lineNumber, std::string_view functionName, std::string&& msg);
  // Timestamp supplied by the caller (messages arriving from another logging
  // system).
  LogMessage(const LogCategory* category, LogLevel level, TimePoint timestamp,
             std::string_view filename, unsigned int lineNumber, std::string_view functionName,
             std::string&& msg);

  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;

  const LogCategory* category() const { return category_; }
  LogLevel level() const { return level_; }
  uint64_t threadId() const { return threadId_; }
  TimePoint timestamp() const { return timestamp_; }
  std::string_view fileName() const { return fileName_; }
  // The part after the last '/' (the whole name when there is none).
  std::string_view fileBaseName() const;
  unsigned int lineNumber() const { return lineNumber_; }
  std::string_view functionName() const { return functionName_; }
  const std::string& rawText() const { return rawText_; }
  // The sanitised text when sanitising changed anything, else the raw text.
  const std::string& messageText() const {
    return sanitizedText_.empty() ? rawText_ : sanitizedText_;
  }
  bool containsNewlines() const { return newlineCount_ != 0; }
  uint64_t newlineCount() const { return newlineCount_; }
  const std::string& contextString() const { return contextString_; }

  // For the code that built the message, once every handler has seen it: hands
  // the raw text's storage back for reuse. The message is not used afterwards.
  std::string takeRawText() { return std::move(rawText_); }

 private:
  void sanitize();

  const LogCategory* category_;
  LogLevel level_;
  uint64_t threadId_;
  TimePoint timestamp_;
  std::string_view fileName_;
  unsigned int lineNumber_;
  std::string_view functionName_;
  uint64_t newlineCount_ = 0;
  std::string contextString_;
  std::string rawText_;
  std::string sanitizedText_;
};

}  // namespace quorvane
