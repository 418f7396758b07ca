#pragma once

// LogFormatter: turns one message into the exact text a writer outputs,
// newline included.
//
// Formatters are held by shared ownership (a handler and whoever built it) and
// are immutable after construction: formatMessage may run on any number of
// threads at once without locking, and must keep no per-message state.

#include <string>

namespace quorvane {

class LogCategory;
class LogMessage;

class LogFormatter {
 public:
  virtual ~LogFormatter() = default;

  // The output text of `message`. `handlerCategory` is the category whose
  // handler is formatting (the message's own category or an ancestor); a
  // formatter may ignore it. Throws when the formatting engine rejects the
  // formatter's layout.
  virtual std::string formatMessage(const LogMessage& message,
                                    const LogCategory* handlerCategory) = 0;

  // The same text, put into `out` (whatever `out` held is replaced). A caller
  // that reuses one string for many messages lets a formatter that overrides
  // this write into the string's existing storage instead of allocating a new
  // one per message; the default assigns formatMessage's result.
  virtual void formatMessageInto(std::string& out, const LogMessage& message,
                                 const LogCategory* handlerCategory) {
    out = formatMessage(message, handlerCategory);
  }
};

}  // namespace quorvane
