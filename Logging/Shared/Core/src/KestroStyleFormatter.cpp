#include "Logging/Shared/Core/src/KestroStyleFormatter.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/logging/LogLineFields.h"
#include "common/logging/internal/LinesWithHeader.h"
#include "common/logging/internal/PaddedDecimal.h"

namespace quorvane::kestro::logging {
namespace {

using quorvane::logging::internal::putPadded;
using quorvane::logging::internal::putSixDigits;
using quorvane::logging::internal::putTwoDigits;

// The thread id as the header prints it ({:5d}), kept per thread: the
// messages a thread formats are nearly always its own.
struct ThreadIdText {
  uint64_t id = 0;
  size_t size = 0;  // 0: nothing kept yet
  char text[24];
};
thread_local ThreadIdText threadIdText;

char* putThreadId(char* p, uint64_t id) {
  ThreadIdText& kept = threadIdText;
  if (kept.size == 0 || kept.id != id) {
    kept.size = static_cast<size_t>(putPadded(kept.text, id, 5, ' ') - kept.text);
    kept.id = id;
  }
  std::memcpy(p, kept.text, kept.size);
  return p + kept.size;
}

// The header "{0}{1:%m%d %H:%M:%S}.{2:06d}{1:%z} {3:5d} {4}:{5}] " of letter,
// calendar time, microseconds, thread id, file base name and line. It is the
// main log's header, so it is written field by field into a stack buffer: the
// general formatting engine with its time support costs several times more.
class Header {
 public:
  explicit Header(const LogLineFields& f) : fileBaseName_(f.fileBaseName) {
    const std::tm& t = f.time;
    char* p = text_;
    *p++ = f.levelLetter;
    p = putTwoDigits(p, t.tm_mon + 1);
    p = putTwoDigits(p, t.tm_mday);
    *p++ = ' ';
    p = putTwoDigits(p, t.tm_hour);
    *p++ = ':';
    p = putTwoDigits(p, t.tm_min);
    *p++ = ':';
    p = putTwoDigits(p, t.tm_sec);
    *p++ = '.';
    p = putSixDigits(p, f.microseconds);
    p = putZoneOffset(p, t.tm_gmtoff);
    *p++ = ' ';
    p = putThreadId(p, f.threadId);
    *p++ = ' ';
    prefixSize_ = static_cast<size_t>(p - text_);
    // The part after the base name: ":" + line + "] ".
    char* s = suffix_;
    *s++ = ':';
    s = putPadded(s, f.lineNumber, 0, ' ');
    *s++ = ']';
    *s++ = ' ';
    suffixSize_ = static_cast<size_t>(s - suffix_);
  }

  size_t size() const { return prefixSize_ + fileBaseName_.size() + suffixSize_; }

  // Writes the header at `p` (size() bytes) and returns the end.
  char* writeTo(char* p) const {
    std::memcpy(p, text_, prefixSize_);
    p += prefixSize_;
    std::memcpy(p, fileBaseName_.data(), fileBaseName_.size());
    p += fileBaseName_.size();
    std::memcpy(p, suffix_, suffixSize_);
    return p + suffixSize_;
  }

  void appendTo(std::string& out) const {
    out.append(text_, prefixSize_);
    out.append(fileBaseName_);
    out.append(suffix_, suffixSize_);
  }

 private:
  // strftime's %z: sign, then hours and minutes of the offset east of UTC, two
  // digits each (seconds of the offset are dropped).
  static char* putZoneOffset(char* p, long offset) {
    *p++ = offset < 0 ? '-' : '+';
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    p = putTwoDigits(p, minutes / 60);
    return putTwoDigits(p, minutes % 60);
  }

  std::string_view fileBaseName_;
  // Letter, five calendar fields, microseconds, offset, thread id, separators.
  char text_[1 + 5 * 21 + 21 + 1 + 2 * 21 + 21 + 8];
  size_t prefixSize_;
  char suffix_[1 + 21 + 2];
  size_t suffixSize_;
};

}  // namespace

void KestroStyleFormatter::appendFields(std::string& out, const LogLineFields& fields) const {
  const std::string_view text = fields.text;
  const Header header(fields);
  if (fields.newlineCount == 0) {
    // One resize, then the pieces are copied into place.
    const size_t start = out.size();
    out.resize(start + header.size() + text.size() + 1);
    char* p = header.writeTo(out.data() + start);
    std::memcpy(p, text.data(), text.size());
    p[text.size()] = '\n';
    return;
  }

  out.reserve(out.size() + header.size() * (fields.newlineCount + 1) + text.size() + 1);
  quorvane::logging::internal::appendLinesWithHeader(
      out, text, [&](std::string& line) { header.appendTo(line); });
}

}  // namespace quorvane::kestro::logging
