#pragma once

// Checks that every line formatter must pass, shared by the formatters' tests.
//
// expectFormattingIntoReplacesWhatItHeld: formatMessageInto() on a string that
// holds an earlier, longer line leaves exactly what formatMessage() returns for
// the same message (one line, several lines, empty text); a formatter that
// appends, or keeps a tail of the old line, fails it.

#include <gtest/gtest.h>

#include <string>

#include "common/logging/LogFormatter.h"
#include "common/logging/LogLevel.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"

namespace quorvane::test {

inline void expectFormattingIntoReplacesWhatItHeld(LogFormatter& formatter) {
  LoggerDB db;
  std::string line = std::string(300, '#');
  for (const char* text : {"one line", "two\nlines", ""}) {
    LogMessage message(db.categoryFor("x"), LogLevel::WARN, "src/Sender.cpp", 88, "send",
                       std::string(text));
    formatter.formatMessageInto(line, message, nullptr);
    EXPECT_EQ(line, formatter.formatMessage(message, nullptr)) << text;
  }
}

}  // namespace quorvane::test
