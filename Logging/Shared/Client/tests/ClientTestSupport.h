#pragma once

// Helpers for the logging client's tests: logging in the calling program
// image's own database as a log statement does, and reading back what logcore
// wrote into a log directory.

#include <string>
#include <string_view>

#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/utilities/testing/TemporaryDirectory.h"

namespace quorvane::test {

// A message at `level` to `category` of this image's database, submitted only
// when the category's level admits it.
inline void logHere(std::string_view category, LogLevel level, std::string text) {
  LogCategory* c = LoggerDB::get().categoryFor(category);
  if (c->isEnabled(level)) {
    LogMessage message(c, level, "src/client/Module.cpp", 7, "logHere", std::move(text));
    c->submitMessage(message);
  }
}

// Everything in the files of one channel ("kestro", "qsyn", "rtc", "trace"),
// in name order.
inline std::string channelText(const TemporaryDirectory& dir, const std::string& word) {
  std::string all;
  for (const std::string& name : dir.fileNamesStartingWith(word + "-")) {
    all += dir.contentsOf(name);
  }
  return all;
}

inline size_t occurrences(std::string_view text, std::string_view piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string_view::npos;
       at = text.find(piece, at + piece.size())) {
    ++count;
  }
  return count;
}

}  // namespace quorvane::test
