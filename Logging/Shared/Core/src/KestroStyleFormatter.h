#pragma once

// KestroStyleFormatter: the line layout of the application's main log, a
// glog-like header with the local time zone's offset:
//
//   I0312 14:05:09.004211+0100 12345 Sender.cpp:88] text
//
// level letter (V, I, W, E, C or F by level range; DFATAL prints F), month and
// day, local time with microseconds, the zone offset as strftime's %z gives it,
// the thread id right-aligned in five columns (longer ids are printed in
// full), the file's base name and line, "] " and the message text. A message
// of several lines gives every line its own copy of the header; a text ending
// in a newline therefore ends with a line that holds only the header. When the
// time cannot be broken down, every calendar field (and the offset) prints as
// zero.
//
// A line formatted from a message reuses the text of the calendar second,
// zone offset and thread id that the calling thread formatted last (kept per
// thread, keyed like the local calendar breakdown of LocalTime.h), so most
// lines only add the level letter, the microseconds and the source location.
//
// Stateless: one instance serves any number of threads at once.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "common/logging/LineLayoutFormatter.h"

namespace quorvane::kestro::logging {

class KestroStyleFormatter : public LineLayoutFormatter<KestroStyleFormatter> {
 public:
  // Appends the layout of `fields` to `out`.
  void appendFields(std::string& out, const LogLineFields& fields) const;

  // The most bytes writeHeader writes (with a file base name of at most
  // kMaxHeaderFileName bytes).
  static constexpr size_t kMaxHeaderFileName = 64;
  static constexpr size_t kMaxHeaderSize = 260;
  // Writes the header of a line (everything before its text) at `out` and
  // returns its end: for code that may not allocate (the crash report). The
  // file name is cut to kMaxHeaderFileName bytes. Async-signal-safe.
  static char* writeHeader(char* out, char letter, const std::tm& time, uint32_t microseconds,
                           uint64_t threadId, std::string_view fileBaseName,
                           unsigned int lineNumber);

  // The same line as formatMessage, built from the message directly.
  void formatMessageInto(std::string& out, const LogMessage& message,
                         const LogCategory* handlerCategory) override;
};

}  // namespace quorvane::kestro::logging
