#pragma once

// LineLayoutFormatter<Layout>: the base of the fixed line layouts, which
// write a line from the fields a message carries (LogLineFields) and never
// look at the handler's category. `Layout` provides
//
//   void appendFields(std::string& out, const LogLineFields& fields) const;
//
// which appends the layout of `fields` to `out`; this base turns it into the
// LogFormatter interface (formatMessageInto writes into the caller's string
// without allocating when its storage suffices) and into formatFields, which
// tests and benchmarks use with fields they fill in themselves. The call to
// appendFields is resolved at compile time, so the layouts cost no extra
// virtual call per message.
//
// Thread safety: as the layout's appendFields; the framework's layouts are
// stateless and serve any number of threads at once.

#include <string>

#include "common/logging/LogFormatter.h"
#include "common/logging/LogLineFields.h"

namespace quorvane {

template <typename Layout>
class LineLayoutFormatter : public LogFormatter {
 public:
  std::string formatMessage(const LogMessage& message, const LogCategory*) override {
    return formatFields(LogLineFields::of(message));
  }

  void formatMessageInto(std::string& out, const LogMessage& message, const LogCategory*) override {
    out.clear();
    layout().appendFields(out, LogLineFields::of(message));
  }

  // The layout of fields already taken out of a message (or made up).
  std::string formatFields(const LogLineFields& fields) const {
    std::string out;
    layout().appendFields(out, fields);
    return out;
  }

 private:
  const Layout& layout() const { return static_cast<const Layout&>(*this); }
};

}  // namespace quorvane
