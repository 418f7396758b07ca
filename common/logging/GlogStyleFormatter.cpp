#include "common/logging/GlogStyleFormatter.h"

#include <fmt/format.h>

#include <iterator>
#include <string_view>

#include "common/logging/LogLineFields.h"

namespace quorvane {
namespace {

// Fixed parts of the header: letter, "mmdd hh:mm:ss.uuuuuu", blank, at least
// five columns of thread id, ":", "] ", and room for a long line number.
constexpr size_t kHeaderOverhead = 48;

template <typename Out>
void writeHeader(Out out, const LogLineFields& f) {
  fmt::format_to(out, "{}{:02d}{:02d} {:02d}:{:02d}:{:02d}.{:06d} {:5d} {}:{}{}] ",
                 f.levelLetter, f.time.tm_mon + 1, f.time.tm_mday, f.time.tm_hour,
                 f.time.tm_min, f.time.tm_sec, f.microseconds, f.threadId, f.fileBaseName,
                 f.lineNumber, f.context);
}

}  // namespace

std::string GlogStyleFormatter::formatMessage(const LogMessage& message, const LogCategory*) {
  return formatFields(LogLineFields::of(message));
}

std::string GlogStyleFormatter::formatFields(const LogLineFields& fields) const {
  const std::string_view text = fields.text;
  std::string out;
  if (fields.newlineCount == 0) {
    out.reserve(kHeaderOverhead + fields.fileBaseName.size() + fields.context.size() +
                text.size() + 1);
    writeHeader(std::back_inserter(out), fields);
    out.append(text);
    out.push_back('\n');
    return out;
  }

  fmt::memory_buffer header;
  writeHeader(fmt::appender(header), fields);
  const std::string_view headerText(header.data(), header.size());
  out.reserve(headerText.size() * (fields.newlineCount + 1) + text.size() + 1);
  size_t start = 0;
  while (true) {
    const size_t end = text.find('\n', start);
    out.append(headerText);
    if (end == std::string_view::npos) {
      out.append(text.substr(start));
      out.push_back('\n');
      break;
    }
    out.append(text.substr(start, end - start));
    out.push_back('\n');
    start = end + 1;
  }
  return out;
}

}  // namespace quorvane
