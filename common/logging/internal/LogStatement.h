#pragma once

// LogStatement: collects the text of one enabled log statement and submits the
// message to its category when the statement ends.
//
// Text is the statement's formatted arguments (if any) followed by everything
// streamed into it. The output stream is only built when something is
// streamed, so format-only statements never pay for it. The text is collected
// in the thread's reusable statement string (ScratchString.h), which the
// message borrows, so a statement allocates nothing for its text in the steady
// state. The statement's source file and its base name are worked out at
// compile time, and a text that is known to need no sanitising (integers and
// booleans in a plain format) is not scanned again by the message.
//
// Internal: use the macros of common/logging/Log.h. One statement lives on one
// thread for one full expression.

#include <fmt/format.h>

#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "common/logging/LogLevel.h"
#include "common/logging/LogMessage.h"
#include "common/logging/internal/FormatPlan.h"
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

// The source file of a statement (__FILE__), worked out at compile time.
consteval LogSourceFile statementSourceFile(std::string_view path) {
  return {path, sourceFileBaseName(path)};
}

class LogStatement {
 public:
  LogStatement(LogCategory* category, LogLevel level, LogSourceFile file, unsigned int line,
               std::string_view function)
      : LogStatement(Where{category, level, file, line, function}) {
    text_.text().clear();
  }

  // A format string checked at compile time; `site` keeps its plan.
  template <typename... Args>
  LogStatement(LogCategory* category, LogLevel level, LogSourceFile file, unsigned int line,
               std::string_view function, FormatSite& site, fmt::format_string<Args...> format,
               Args&&... args)
      : LogStatement(Where{category, level, file, line, function}) {
    const fmt::string_view engineView = format;
    const std::string_view formatText(engineView.data(), engineView.size());
    const FormatPlan* plan = site.plan(formatText);
    // Every argument of a type the plan writes: prepared here, where the
    // types are known.
    if constexpr ((FormatPlan::kCovers<std::remove_cvref_t<Args>> && ...)) {
      if (plan != nullptr && formatPrepared(*plan, args...)) {
        return;
      }
    }
    formatArguments(plan, formatText, fmt::make_format_args(args...));
  }

  // A format string made at run time (fmt::runtime).
  template <typename... Args>
  LogStatement(LogCategory* category, LogLevel level, LogSourceFile file, unsigned int line,
               std::string_view function, FormatSite& /*site*/, fmt::basic_runtime<char> format,
               Args&&... args)
      : LogStatement(Where{category, level, file, line, function}) {
    const std::string_view formatText(format.str.data(), format.str.size());
    formatArguments(cachedFormatPlan(formatText), formatText, fmt::make_format_args(args...));
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
  struct Where {
    LogCategory* category;
    LogLevel level;
    LogSourceFile file;
    unsigned int line;
    std::string_view function;
  };
  explicit LogStatement(const Where& where)
      : category_(where.category),
        level_(where.level),
        file_(where.file),
        function_(where.function),
        line_(where.line),
        text_(ScratchSlot::kStatementText) {}

  struct Stream {
    explicit Stream(std::string& out) : buffer(out), ostream(&buffer) {}
    StringAppendBuffer buffer;
    std::ostream ostream;
  };

  std::ostream& stream() {
    if (!stream_) {
      stream_.emplace(text_.text());
      plainText_ = false;
    }
    return stream_->ostream;
  }
  // Makes the text from the arguments (overwriting what the thread's string
  // held): with `plan` when it covers them, else with the engine.
  void formatArguments(const FormatPlan* plan, std::string_view format, fmt::format_args args);

  template <typename... Args>
  bool formatPrepared(const FormatPlan& plan, const Args&... args) {
    FormatPlan::Argument arguments[sizeof...(Args) + 1];  // never of size 0
    size_t next = 0;
    if (!(FormatPlan::prepare(args, arguments[next++]) && ...)) {
      return false;
    }
    const FormatPlan::Result result = plan.formatTo(text_.text(), arguments, sizeof...(Args));
    plainText_ = result == FormatPlan::Result::kWrittenPlain;
    return result != FormatPlan::Result::kNotCovered;
  }

  LogCategory* category_;
  LogLevel level_;
  LogSourceFile file_;
  std::string_view function_;
  unsigned int line_;
  // Whether the text is known to need no sanitising; an empty text does not.
  bool plainText_ = true;
  ScopedScratchString text_;
  std::optional<Stream> stream_;
};

// Turns `statement << ...` into a void expression for the conditional form of
// the macros.
struct LogStatementVoidify {
  void operator&(LogStatement&) const {}
  void operator&(LogStatement&&) const {}
};

}  // namespace quorvane::logging::internal
