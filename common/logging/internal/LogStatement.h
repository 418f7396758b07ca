#pragma once

// LogStatement: collects the text of one enabled log statement and submits the
// message to its category when the statement ends.
//
// Text is the statement's formatted arguments (if any) followed by everything
// streamed into it. The output stream is only built when something is
// streamed, so format-only statements never pay for it. The text is collected
// in the thread's reusable statement string (ScratchString.h) and its storage
// is taken back from the message once the message has been delivered, so a
// statement allocates nothing for its text in the steady state.
//
// Internal: use the macros of common/logging/Log.h. One statement lives on one
// thread for one full expression.

#include <fmt/format.h>

#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>

#include "common/logging/LogLevel.h"
#include "common/logging/internal/ScratchString.h"

namespace quorvane {
class LogCategory;
}

namespace quorvane::logging::internal {

// A streambuf appending to a string the statement owns.
class StringAppendBuffer : public std::streambuf {
 public:
  explicit StringAppendBuffer(std::string& out) : out_(out) {}

 protected:
  int_type overflow(int_type ch) override {
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      out_.push_back(traits_type::to_char_type(ch));
    }
    return traits_type::not_eof(ch);
  }
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    out_.append(data, static_cast<size_t>(count));
    return count;
  }

 private:
  std::string& out_;
};

class LogStatement {
 public:
  LogStatement(LogCategory* category, LogLevel level, std::string_view file, unsigned int line,
               std::string_view function)
      : category_(category),
        level_(level),
        file_(file),
        function_(function),
        line_(line),
        text_(takeScratchString(ScratchSlot::kStatementText)) {}

  template <typename... Args>
  LogStatement(LogCategory* category, LogLevel level, std::string_view file, unsigned int line,
               std::string_view function, fmt::format_string<Args...> format, Args&&... args)
      : LogStatement(category, level, file, line, function) {
    formatArguments(format, fmt::make_format_args(args...));
  }

  // Submits the message (and, for FATAL, ends the process).
  ~LogStatement();

  LogStatement(const LogStatement&) = delete;
  LogStatement& operator=(const LogStatement&) = delete;

  template <typename T>
  LogStatement& operator<<(const T& value) {
    stream() << value;
    return *this;
  }
  // Manipulators such as std::hex.
  LogStatement& operator<<(std::ostream& (*manipulator)(std::ostream&)) {
    stream() << manipulator;
    return *this;
  }

 private:
  struct Stream {
    explicit Stream(std::string& out) : buffer(out), ostream(&buffer) {}
    StringAppendBuffer buffer;
    std::ostream ostream;
  };

  std::ostream& stream() {
    if (!stream_) {
      stream_.emplace(text_);
    }
    return stream_->ostream;
  }
  void formatArguments(fmt::string_view format, fmt::format_args args);

  LogCategory* category_;
  LogLevel level_;
  std::string_view file_;
  std::string_view function_;
  unsigned int line_;
  std::string text_;
  std::optional<Stream> stream_;
};

// Turns `statement << ...` into a void expression for the conditional form of
// the macros.
struct LogStatementVoidify {
  void operator&(LogStatement&) const {}
  void operator&(LogStatement&&) const {}
};

}  // namespace quorvane::logging::internal
