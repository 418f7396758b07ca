#pragma once

// QsynStyleLogFormatter: the line layout of the messaging-sync engine's log
// and of the real-time-communication log:
//
//   2024-03-12 14:05:09+0100(src/net/Client.cpp): [W:N:mqtt_client] text
//
// local date and time to the second with the zone offset (strftime's
// "%F %T%z" in the C locale), the source file as the log statement gave it
// (the full path), then a tag of three parts separated by ":":
//   - a letter for the exact level value: 1998 (DBG1) V, 2996 (INFO3) S,
//     2997 and 2998 (INFO2, INFO1) A, 3000 (WARN) W, 4000 (ERR) E, any other
//     value (DBG, INFO, CRITICAL, ...) U;
//   - the first character of the category name's second "."-separated
//     component, or nothing when there is none or it is empty;
//   - the whole third component, or nothing; later components are not shown.
// The message text follows with one newline; newlines inside the text are
// written as they are, under the one header.
//
// Stateless: one instance serves any number of threads at once.

#include <string>
#include <string_view>

#include "common/logging/LogFormatter.h"
#include "common/logging/LogLevel.h"

namespace quorvane::kestro::logging {

class QsynStyleLogFormatter : public LogFormatter {
 public:
  std::string formatMessage(const LogMessage& message, const LogCategory* handlerCategory) override;

  // The tag letter of a level value.
  static char levelLetter(LogLevel level);
  // The tag between "[" and "]" for a level and a category name, such as
  // "W:N:mqtt_client".
  static std::string tag(LogLevel level, std::string_view categoryName);
};

}  // namespace quorvane::kestro::logging
