#include "common/logging/GlogStyleFormatter.h"

#include <fmt/format.h>

#include <string_view>

#include "common/logging/LogLineFields.h"
#include "common/logging/internal/LinesWithHeader.h"
#include "common/logging/internal/PaddedDecimal.h"

namespace quorvane {
namespace {

using logging::internal::putPadded;

// The header "{}{:02d}{:02d} {:02d}:{:02d}:{:02d}.{:06d} {:5d} {}:{}{}] " of
// letter, month, day, hour, minute, second, microseconds, thread id, file base
// name, line and context. The layout is fixed, so it is written field by field;
// the general formatting engine costs several times more on every message.
class Header {
 public:
  explicit Header(const LogLineFields& f) : fields_(f), line_(f.lineNumber) {
    char* p = prefix_;
    *p++ = f.levelLetter;
    p = putPadded(p, f.time.tm_mon + 1, 2, '0');
    p = putPadded(p, f.time.tm_mday, 2, '0');
    *p++ = ' ';
    p = putPadded(p, f.time.tm_hour, 2, '0');
    *p++ = ':';
    p = putPadded(p, f.time.tm_min, 2, '0');
    *p++ = ':';
    p = putPadded(p, f.time.tm_sec, 2, '0');
    *p++ = '.';
    p = putPadded(p, f.microseconds, 6, '0');
    *p++ = ' ';
    p = putPadded(p, f.threadId, 5, ' ');
    *p++ = ' ';
    prefixSize_ = static_cast<size_t>(p - prefix_);
  }

  size_t size() const {
    return prefixSize_ + fields_.fileBaseName.size() + 1 + line_.size() + fields_.context.size() +
           2;
  }

  void appendTo(std::string& out) const {
    out.append(prefix_, prefixSize_);
    out.append(fields_.fileBaseName);
    out.push_back(':');
    out.append(line_.data(), line_.size());
    out.append(fields_.context);
    out.append("] ", 2);
  }

 private:
  const LogLineFields& fields_;
  const fmt::format_int line_;
  // Letter, five calendar fields, microseconds, thread id and separators.
  char prefix_[1 + 5 * 21 + 21 + 21 + 8];
  size_t prefixSize_;
};

}  // namespace

void GlogStyleFormatter::appendFields(std::string& out, const LogLineFields& fields) const {
  const std::string_view text = fields.text;
  const Header header(fields);
  if (fields.newlineCount == 0) {
    out.reserve(out.size() + header.size() + text.size() + 1);
    header.appendTo(out);
    out.append(text);
    out.push_back('\n');
    return;
  }

  out.reserve(out.size() + header.size() * (fields.newlineCount + 1) + text.size() + 1);
  logging::internal::appendLinesWithHeader(out, text,
                                           [&](std::string& line) { header.appendTo(line); });
}

}  // namespace quorvane
