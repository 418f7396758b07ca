#pragma once

// CustomLogFormatter: a line layout given as a format text with named
// placeholders in braces, optionally coloured by level with terminal escape
// sequences.
//
// Placeholders (case-sensitive): L level letter, m month (1-12), D day of month,
// H hour, M minute, S second, USECS microseconds, THREAD thread id, FILE file
// base name, FUN function name, LINE line number, CTX context text. A
// placeholder may carry a format spec after a colon, passed to the
// formatting engine unchanged: {m:02d} is a two-digit month, {THREAD:>8} a
// right-aligned thread id. "{{" and "}}" are literal braces. A blank follows a
// non-empty header, then the message text and a newline. A message of several
// lines gives every line its own header; when coloured, the colour starts once
// before the first header and ends once after the last newline. INFO lines
// (2000-2999) are never coloured.
//
// The format text is compiled once, in the constructor, into positional
// formats, so formatting a message looks up no names. The constructor throws
// std::runtime_error for an unknown placeholder ("unknown format argument "
// and the name in double quotes), for a placeholder left open ("unterminated
// format string") and for a layout the formatting engine rejects ("invalid
// format string: " and the engine's reason), such as a lone "}" or a precision
// given for an integer. Layouts come from configuration, so a format spec may
// not take a width or precision from another placeholder (a nested "{...}") nor
// ask for one above 1024; both are "invalid format string: " errors too. A
// layout the constructor accepts formats every message without throwing.
//
// Immutable after construction: formatMessage may run on any number of threads
// at once.

#include <cstddef>
#include <string>
#include <string_view>

#include "common/logging/LogFormatter.h"

namespace quorvane {

struct LogLineFields;

class CustomLogFormatter : public LogFormatter {
 public:
  CustomLogFormatter(std::string_view format, bool colored);

  std::string formatMessage(const LogMessage& message, const LogCategory* handlerCategory) override;

  // The same layout for fields already taken out of a message.
  std::string formatFields(const LogLineFields& fields) const;

  // The compiled header alone (positional arguments 0-11), with its trailing
  // blank when not empty.
  const std::string& headerFormat() const { return headerFormat_; }
  // The compiled single-line output: header, message (argument 12), colour
  // start and end (13 and 14) when coloured, newline.
  const std::string& lineFormat() const { return lineFormat_; }
  // The estimated header width, not counting file and function names.
  size_t staticWidth() const { return staticWidth_; }
  size_t fileNameUses() const { return fileNameUses_; }
  size_t functionNameUses() const { return functionNameUses_; }
  bool colored() const { return colored_; }

 private:
  void compile(std::string_view format);
  void checkWithSampleArguments() const;

  std::string headerFormat_;
  std::string lineFormat_;
  size_t staticWidth_ = 0;
  size_t fileNameUses_ = 0;
  size_t functionNameUses_ = 0;
  bool colored_;
};

}  // namespace quorvane
