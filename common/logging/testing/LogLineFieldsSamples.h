#pragma once

// Fixed inputs for tests of line formatters: a test time zone, a timestamp in
// it, and LogLineFields filled with known values (so expected lines do not
// depend on the test thread's id or on the machine's zone).
//
// Install kTestTimeZone (test::ScopedTimeZone) before breaking times down.

#include <chrono>
#include <cstdint>
#include <string_view>

#include "common/logging/LogLineFields.h"
#include "common/utilities/LocalTime.h"

namespace quorvane::test {

// UTC+3:30, no daylight saving time; needs no zone database.
inline constexpr const char* kTestTimeZone = "ABC-3:30";
// 2024-12-06 05:35:07 UTC, 09:05:07 in kTestTimeZone.
inline constexpr int64_t kTestSeconds = 1733463307;

inline std::chrono::system_clock::time_point testTimestamp(uint32_t microseconds) {
  return std::chrono::system_clock::time_point(
      std::chrono::microseconds(kTestSeconds * 1'000'000 + microseconds));
}

// An INFO line from main:42, thread 1234, 000042 µs past kTestSeconds.
inline LogLineFields sampleFields(std::string_view text, LogLevel level = LogLevel::INFO) {
  LogLineFields fields{};
  fields.level = level;
  fields.levelLetter = logLineLevelLetter(level);
  fields.time = localCalendarTime(kTestSeconds);
  fields.microseconds = 42;
  fields.threadId = 1234;
  fields.fileBaseName = "main";
  fields.functionName = "run";
  fields.lineNumber = 42;
  fields.text = text;
  for (char c : text) {
    fields.newlineCount += c == '\n';
  }
  return fields;
}

}  // namespace quorvane::test
