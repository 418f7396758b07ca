#include "common/logging/LogMessage.h"

#include "common/logging/LogCategory.h"
#include "common/logging/LoggerDB.h"
#include "common/utilities/ThreadId.h"

namespace quorvane {

LogMessage::LogMessage(const LogCategory* category, LogLevel level, std::string_view filename,
                       unsigned int lineNumber, std::string_view functionName,
                       std::string&& msg)
    : LogMessage(category, level, Clock::now(), filename, lineNumber, functionName,
                 std::move(msg)) {}

LogMessage::LogMessage(const LogCategory* category, LogLevel level, TimePoint timestamp,
                       std::string_view filename, unsigned int lineNumber,
                       std::string_view functionName, std::string&& msg)
    : category_(category),
      level_(level),
      threadId_(getOSThreadID()),
      timestamp_(timestamp),
      fileName_(filename),
      lineNumber_(lineNumber),
      functionName_(functionName),
      contextString_(category->db()->contextString()),
      rawText_(std::move(msg)) {
  sanitize();
}

std::string_view LogMessage::fileBaseName() const {
  size_t slash = fileName_.rfind('/');
  return slash == std::string_view::npos ? fileName_ : fileName_.substr(slash + 1);
}

void LogMessage::sanitize() {
  // First pass: the escaped length and the newline count.
  size_t escapedLength = 0;
  uint64_t newlines = 0;
  for (char ch : rawText_) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      escapedLength += 2;
    } else if (c == '\n') {
      escapedLength += 1;
      ++newlines;
    } else if (c == '\t') {
      escapedLength += 1;
    } else if (c < 0x20 || c == 0x7f) {
      escapedLength += 4;
    } else {
      escapedLength += 1;
    }
  }
  newlineCount_ = newlines;
  if (escapedLength == rawText_.size()) {
    return;
  }

  static constexpr char kHexDigits[] = "0123456789abcdef";
  sanitizedText_.reserve(escapedLength);
  for (char ch : rawText_) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      sanitizedText_.append("\\\\", 2);
    } else if (c == '\n' || c == '\t') {
      sanitizedText_.push_back(ch);
    } else if (c < 0x20 || c == 0x7f) {
      const char escaped[4] = {'\\', 'x', kHexDigits[c >> 4], kHexDigits[c & 0xf]};
      sanitizedText_.append(escaped, 4);
    } else {
      sanitizedText_.push_back(ch);
    }
  }
}

}  // namespace quorvane
