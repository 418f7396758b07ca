#pragma once

// LogMessage: the immutable record of one log call.
//
// Built on the logging thread, passed by const reference to every handler and
// across the core library's boundary, and never kept by the framework after the
// call returns (a handler that works later keeps its own formatted copy).
//
// Construction reads the calling thread's OS id, copies the context text of the
// category's logger database, takes the text over by move (or, for a log
// statement, borrows it) and sanitises it for one-line log files: backslashes
// are doubled, control bytes other than tab and newline (and 0x7f) become
// \xNN; tabs, newlines and bytes >= 0x80 are kept. Nothing is allocated for
// the sanitised copy when no byte needs escaping.
//
// Lifetimes: the file and function names are views of static text of the
// caller's program image; the category outlives every message (categories are
// never destroyed). A borrowed text must stay unchanged while the message
// exists.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/logging/LogLevel.h"

namespace quorvane {

class LogCategory;

// The part of a source path after its last '/' (the whole path when there is
// none).
constexpr std::string_view sourceFileBaseName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// A source file as a log statement knows it at compile time: its path and the
// path's base name.
struct LogSourceFile {
  std::string_view path;
  std::string_view baseName;
};

class LogMessage {
 public:
  using Clock = std::chrono::system_clock;
  using TimePoint = Clock::time_point;

  // The text of a log statement, lent to its message.
  struct BorrowedText {
    const std::string& text;
    // The text holds no byte that sanitising looks at (a byte below 0x20, tab
    // and newline included, a backslash, 0x7f), so it is not scanned again.
    // False is always correct.
    bool plain;
  };

  // Timestamp: the current wall-clock time (FastSystemClock: the system
  // clock's time, read from the processor's counter).
  LogMessage(const LogCategory* category, LogLevel level, std::string_view filename,
             unsigned int lineNumber, std::string_view functionName, std::string&& msg);
  // Timestamp supplied by the caller (messages arriving from another logging
  // system).
  LogMessage(const LogCategory* category, LogLevel level, TimePoint timestamp,
             std::string_view filename, unsigned int lineNumber, std::string_view functionName,
             std::string&& msg);
  // A log statement's message, timestamped now; the text stays the
  // statement's.
  LogMessage(const LogCategory* category, LogLevel level, LogSourceFile file,
             unsigned int lineNumber, std::string_view functionName, BorrowedText text);

  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;

  const LogCategory* category() const { return category_; }
  LogLevel level() const { return level_; }
  uint64_t threadId() const { return threadId_; }
  TimePoint timestamp() const { return timestamp_; }
  std::string_view fileName() const { return fileName_; }
  // The part after the last '/' (the whole name when there is none).
  std::string_view fileBaseName() const { return fileBaseName_; }
  unsigned int lineNumber() const { return lineNumber_; }
  std::string_view functionName() const { return functionName_; }
  const std::string& rawText() const { return *rawText_; }
  // The sanitised text when sanitising changed anything, else the raw text.
  const std::string& messageText() const {
    return sanitizedText_.empty() ? *rawText_ : sanitizedText_;
  }
  bool containsNewlines() const { return newlineCount_ != 0; }
  uint64_t newlineCount() const { return newlineCount_; }
  const std::string& contextString() const { return contextString_; }

 private:
  void sanitize();

  const LogCategory* category_;
  LogLevel level_;
  uint64_t threadId_;
  TimePoint timestamp_;
  std::string_view fileName_;
  std::string_view fileBaseName_;
  unsigned int lineNumber_;
  std::string_view functionName_;
  uint64_t newlineCount_ = 0;
  std::string contextString_;
  std::string ownedText_;
  // ownedText_, or the borrowed text. The message is neither copied nor
  // moved, so the pointer stays valid.
  const std::string* rawText_;
  std::string sanitizedText_;
};

}  // namespace quorvane
