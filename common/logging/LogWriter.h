#pragma once

// LogWriter: the last stage of a handler. It receives finished text (a
// formatted line, or several) and puts it on a file descriptor, either at once
// in the caller's thread (ImmediateFileWriter) or through a background thread
// (AsyncLogWriter and its subclasses).
//
// Writers never throw write errors at the caller; they report them as internal
// warnings of the logger database.
//
// Lifetimes: writers are held by shared ownership (the handlers that use them).
//
// Thread safety: every operation may be called from any thread, concurrently.

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

class LogWriter {
 public:
  // Flag of writeMessage: queue the message even when the writer's queue is
  // over its limit. Writers without a queue ignore it. No other bit is defined.
  static constexpr uint32_t NEVER_DISCARD = 0x01;

  virtual ~LogWriter() = default;

  // Writes (or queues) one piece of text.
  virtual void writeMessage(std::string_view buffer, uint32_t flags = 0) = 0;
  virtual void writeMessage(std::string&& buffer, uint32_t flags = 0) = 0;

  // Returns when everything accepted so far has been handed to the operating
  // system.
  virtual void flush() = 0;

  // True when the output goes to a terminal (for automatic colouring).
  virtual bool writesToTerminal() const = 0;
};

}  // namespace quorvane
