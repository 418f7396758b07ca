#include "Logging/Shared/Core/src/KestroStyleFormatter.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/logging/LogLineFields.h"
#include "common/logging/LogMessage.h"
#include "common/logging/internal/CopyBytes.h"
#include "common/logging/internal/LinesWithHeader.h"
#include "common/logging/internal/PaddedDecimal.h"
#include "common/utilities/LocalTime.h"

namespace quorvane::kestro::logging {
namespace {

using quorvane::logging::internal::copyBytes;
using quorvane::logging::internal::decimalDigitCount;
using quorvane::logging::internal::putBytes;
using quorvane::logging::internal::putDigitsEndingAt;
using quorvane::logging::internal::putPadded;
using quorvane::logging::internal::putSixDigits;
using quorvane::logging::internal::putTwoDigits;

// The parts of the header "{0}{1:%m%d %H:%M:%S}.{2:06d}{1:%z} {3:5d} {4}:{5}] "
// that depend only on the calendar second and the thread: "MMDD HH:MM:SS"
// and "+hhmm <thread id> ". Written field by field: the general formatting
// engine with its time support costs several times more.
struct SecondParts {
  // Calendar fields outside their usual ranges print wider.
  char date[5 * 21 + 3];
  uint8_t dateSize;
  // The offset, a blank, the thread id (at least five columns) and a blank.
  char zoneAndThread[1 + 2 * 21 + 1 + 21 + 1];
  uint8_t zoneAndThreadSize;

  void fill(const std::tm& t, uint64_t threadId) {
    char* p = date;
    p = putTwoDigits(p, t.tm_mon + 1);
    p = putTwoDigits(p, t.tm_mday);
    *p++ = ' ';
    p = putTwoDigits(p, t.tm_hour);
    *p++ = ':';
    p = putTwoDigits(p, t.tm_min);
    *p++ = ':';
    p = putTwoDigits(p, t.tm_sec);
    dateSize = static_cast<uint8_t>(p - date);

    p = zoneAndThread;
    p = putZoneOffset(p, t.tm_gmtoff);
    *p++ = ' ';
    p = putPadded(p, threadId, 5, ' ');
    *p++ = ' ';
    zoneAndThreadSize = static_cast<uint8_t>(p - zoneAndThread);
  }

  // strftime's %z: sign, then hours and minutes of the offset east of UTC,
  // two digits each (seconds of the offset are dropped).
  static char* putZoneOffset(char* p, long offset) {
    *p++ = offset < 0 ? '-' : '+';
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    p = putTwoDigits(p, minutes / 60);
    return putTwoDigits(p, minutes % 60);
  }
};

// The parts of the second this thread formatted last. A thread formats
// nearly only its own messages, many per second; the entry is keyed like the
// calendar breakdown it comes from (second and zone generation, see
// LocalTime.h) and on the thread id. Trivially constructed, so reaching it
// costs no initialisation check.
struct CachedSecondParts {
  int64_t seconds;
  uint64_t zoneGeneration;  // 0: nothing kept yet
  uint64_t threadId;
  SecondParts parts;
};
thread_local CachedSecondParts cachedSecondParts;

const SecondParts& secondPartsFor(int64_t seconds, uint64_t threadId) {
  CachedSecondParts& cached = cachedSecondParts;
  const uint64_t generation = localTimeZoneGeneration();
  if (cached.seconds != seconds || cached.zoneGeneration != generation ||
      cached.threadId != threadId) [[unlikely]] {
    cached.parts.fill(cachedLocalCalendarTime(seconds), threadId);
    cached.seconds = seconds;
    cached.zoneGeneration = generation;
    cached.threadId = threadId;
  }
  return cached.parts;
}

// The whole header of one message.
class Header {
 public:
  Header(char letter, const SecondParts& parts, uint32_t microseconds,
         std::string_view fileBaseName, unsigned int lineNumber)
      : letter_(letter),
        parts_(parts),
        microseconds_(microseconds),
        fileBaseName_(fileBaseName),
        lineNumber_(lineNumber),
        lineDigits_(decimalDigitCount(lineNumber)) {}

  size_t size() const {
    return 1 + parts_.dateSize + 1 + kMicrosecondDigits + parts_.zoneAndThreadSize +
           fileBaseName_.size() + 1 + lineDigits_ + 2;
  }

  // Writes the header at `p` (size() bytes) and returns the end.
  char* writeTo(char* p) const {
    *p++ = letter_;
    p = putBytes(p, parts_.date, parts_.dateSize);
    *p++ = '.';
    p = putSixDigits(p, microseconds_);
    p = putBytes(p, parts_.zoneAndThread, parts_.zoneAndThreadSize);
    p = putBytes(p, fileBaseName_.data(), fileBaseName_.size());
    *p++ = ':';
    p += lineDigits_;
    putDigitsEndingAt(p, lineNumber_);
    *p++ = ']';
    *p++ = ' ';
    return p;
  }

  void appendTo(std::string& out) const {
    const size_t start = out.size();
    out.resize(start + size());
    writeTo(out.data() + start);
  }

 private:
  static constexpr size_t kMicrosecondDigits = 6;

  char letter_;
  const SecondParts& parts_;
  uint32_t microseconds_;
  std::string_view fileBaseName_;
  unsigned int lineNumber_;
  size_t lineDigits_;
};

// Writes header + text + "\n" at `p` (header.size() + text.size() + 1 bytes).
void writeLine(char* p, const Header& header, std::string_view text) {
  p = header.writeTo(p);
  copyBytes(p, text.data(), text.size());
  p[text.size()] = '\n';
}

// Appends header + text + "\n" for each line of the text.
void appendLines(std::string& out, const Header& header, std::string_view text,
                 uint64_t newlineCount) {
  if (newlineCount == 0) {
    const size_t start = out.size();
    out.resize(start + header.size() + text.size() + 1);
    writeLine(out.data() + start, header, text);
    return;
  }
  out.reserve(out.size() + header.size() * (newlineCount + 1) + text.size() + 1);
  quorvane::logging::internal::appendLinesWithHeader(
      out, text, [&](std::string& line) { header.appendTo(line); });
}

}  // namespace

void KestroStyleFormatter::appendFields(std::string& out, const LogLineFields& fields) const {
  SecondParts parts;
  parts.fill(fields.time, fields.threadId);
  const Header header(fields.levelLetter, parts, fields.microseconds, fields.fileBaseName,
                      fields.lineNumber);
  appendLines(out, header, fields.text, fields.newlineCount);
}

char* KestroStyleFormatter::writeHeader(char* out, char letter, const std::tm& time,
                                        uint32_t microseconds, uint64_t threadId,
                                        std::string_view fileBaseName, unsigned int lineNumber) {
  SecondParts parts;
  parts.fill(time, threadId);
  return Header(letter, parts, microseconds, fileBaseName.substr(0, kMaxHeaderFileName),
                lineNumber)
      .writeTo(out);
}

void KestroStyleFormatter::formatMessageInto(std::string& out, const LogMessage& message,
                                             const LogCategory* /*handlerCategory*/) {
  const SplitTimestamp split = splitTimestamp(message.timestamp());
  const Header header(logLineLevelLetter(message.level()),
                      secondPartsFor(split.seconds, message.threadId()), split.microseconds,
                      message.fileBaseName(), message.lineNumber());
  const std::string_view text = message.messageText();
  if (message.newlineCount() == 0) [[likely]] {
    // Overwritten whole: a string that held a line as long before is not
    // filled first.
    out.resize(header.size() + text.size() + 1);
    writeLine(out.data(), header, text);
    return;
  }
  out.clear();
  appendLines(out, header, text, message.newlineCount());
}

}  // namespace quorvane::kestro::logging
