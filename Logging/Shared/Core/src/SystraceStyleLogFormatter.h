#pragma once

// SystraceStyleLogFormatter: the line layout of the trace log. Each message is
// the inside of a JSON object (a trace event's members); the line wraps it as
//
//   {"pid":4242,"tid":1234,<raw text>},
//
// with the id of the process (a forked child writes its own) and the thread
// id. The raw text is copied byte for byte, without any escaping, so the file
// reads as the body of a JSON array of events; a message that is not such a
// fragment gives a line that is not valid JSON, and nothing checks that.
//
// Stateless: one instance serves any number of threads at once.

#include <string>

#include "common/logging/LogFormatter.h"

namespace quorvane::kestro::logging {

class SystraceStyleLogFormatter : public LogFormatter {
 public:
  std::string formatMessage(const LogMessage& message, const LogCategory* handlerCategory) override;
};

}  // namespace quorvane::kestro::logging
