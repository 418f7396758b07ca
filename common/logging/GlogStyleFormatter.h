#pragma once

// GlogStyleFormatter: the framework's default line layout, in the manner of
// glog's log lines:
//
//   I1206 09:05:07.000042  1234 main.cpp:42] ready
//
// level letter, month and day, local time with microseconds, the thread id
// right-aligned in five columns (longer ids are printed in full), the file's
// base name and line, the context text, "] " and the message text. A message
// of several lines gives every line its own copy of the header; a text ending
// in a newline therefore ends with a line that holds only the header.
//
// Stateless: one instance serves any number of threads at once.

#include <string>

#include "common/logging/LineLayoutFormatter.h"

namespace quorvane {

class GlogStyleFormatter : public LineLayoutFormatter<GlogStyleFormatter> {
 public:
  // Appends the layout of `fields` to `out`.
  void appendFields(std::string& out, const LogLineFields& fields) const;
};

}  // namespace quorvane
