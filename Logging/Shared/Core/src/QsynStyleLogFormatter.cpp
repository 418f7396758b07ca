#include "Logging/Shared/Core/src/QsynStyleLogFormatter.h"

#include <ctime>

#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/internal/PaddedDecimal.h"
#include "common/utilities/LocalTime.h"

namespace quorvane::kestro::logging {
namespace {

using quorvane::logging::internal::putPadded;

// The second and third components of a "."-separated name (empty components
// kept); each is empty when the name has fewer components.
struct TagComponents {
  std::string_view second;
  std::string_view third;
};

TagComponents tagComponents(std::string_view name) {
  TagComponents parts;
  const size_t firstDot = name.find('.');
  if (firstDot == std::string_view::npos) {
    return parts;
  }
  const size_t secondDot = name.find('.', firstDot + 1);
  parts.second = name.substr(firstDot + 1, secondDot - (firstDot + 1));
  if (secondDot != std::string_view::npos) {
    const size_t thirdDot = name.find('.', secondDot + 1);
    parts.third = name.substr(secondDot + 1, thirdDot - (secondDot + 1));
  }
  return parts;
}

void appendTag(std::string& out, LogLevel level, std::string_view categoryName) {
  const TagComponents parts = tagComponents(categoryName);
  out.push_back(QsynStyleLogFormatter::levelLetter(level));
  out.push_back(':');
  if (!parts.second.empty()) {
    out.push_back(parts.second.front());
  }
  out.push_back(':');
  out.append(parts.third);
}

// Writes the time as put_time's "%F %T%z" gives it in the C locale
// ("2024-03-12 14:05:09+0100") and returns the length. Dates with a four-digit
// year and fields in their usual ranges (every date a message can carry) are
// written by hand; anything else goes through strftime, which is what the
// stream's put_time uses.
size_t putDateTime(char* buffer, size_t size, const std::tm& t) {
  constexpr int kTmYearBase = 1900;
  constexpr int kFirstFourDigitYear = 1000;
  constexpr int kLastFourDigitYear = 9999;
  // An offset of 100 hours or more would not fit in %z's two hour digits.
  constexpr long kOffsetLimit = 100 * 3600;
  const int year = t.tm_year + kTmYearBase;
  const auto twoDigits = [](int v) { return v >= 0 && v <= 99; };
  if (year < kFirstFourDigitYear || year > kLastFourDigitYear || !twoDigits(t.tm_mon + 1) ||
      !twoDigits(t.tm_mday) || !twoDigits(t.tm_hour) || !twoDigits(t.tm_min) ||
      !twoDigits(t.tm_sec) || t.tm_gmtoff <= -kOffsetLimit || t.tm_gmtoff >= kOffsetLimit) {
    return std::strftime(buffer, size, "%F %T%z", &t);
  }
  char* p = buffer;
  p = putPadded(p, year, 4, '0');
  *p++ = '-';
  p = putPadded(p, t.tm_mon + 1, 2, '0');
  *p++ = '-';
  p = putPadded(p, t.tm_mday, 2, '0');
  *p++ = ' ';
  p = putPadded(p, t.tm_hour, 2, '0');
  *p++ = ':';
  p = putPadded(p, t.tm_min, 2, '0');
  *p++ = ':';
  p = putPadded(p, t.tm_sec, 2, '0');
  // %z: sign, then hours and minutes east of UTC (seconds dropped).
  *p++ = t.tm_gmtoff < 0 ? '-' : '+';
  const long minutes = (t.tm_gmtoff < 0 ? -t.tm_gmtoff : t.tm_gmtoff) / 60;
  p = putPadded(p, minutes / 60, 2, '0');
  p = putPadded(p, minutes % 60, 2, '0');
  return static_cast<size_t>(p - buffer);
}

}  // namespace

char QsynStyleLogFormatter::levelLetter(LogLevel level) {
  switch (level) {
    case LogLevel::DBG1:
      return 'V';
    case LogLevel::INFO3:
      return 'S';
    case LogLevel::INFO2:
    case LogLevel::INFO1:
      return 'A';
    case LogLevel::WARN:
      return 'W';
    case LogLevel::ERR:
      return 'E';
    default:
      return 'U';
  }
}

std::string QsynStyleLogFormatter::tag(LogLevel level, std::string_view categoryName) {
  std::string out;
  appendTag(out, level, categoryName);
  return out;
}

std::string QsynStyleLogFormatter::formatMessage(const LogMessage& message, const LogCategory*) {
  // Whole seconds; the fraction is dropped.
  const std::tm time = cachedLocalCalendarTime(splitTimestamp(message.timestamp()).seconds);
  char stamp[128];
  const size_t stampSize = putDateTime(stamp, sizeof stamp, time);

  const std::string_view fileName = message.fileName();
  const std::string_view categoryName =
      message.category() != nullptr ? std::string_view(message.category()->name()) : "";
  const std::string& text = message.messageText();

  std::string out;
  out.reserve(stampSize + 1 + fileName.size() + 4 + 4 + categoryName.size() + 2 + text.size() + 1);
  out.append(stamp, stampSize);
  out.push_back('(');
  out.append(fileName);
  out.append("): [");
  appendTag(out, message.level(), categoryName);
  out.append("] ");
  out.append(text);
  out.push_back('\n');
  return out;
}

}  // namespace quorvane::kestro::logging
