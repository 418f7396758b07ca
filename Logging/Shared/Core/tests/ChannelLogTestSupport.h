#pragma once

// Test support for checking what the four channels wrote: the categories that
// reach each channel alone, the size limit of every channel, and a reader that
// takes a channel's files apart into numbered lines "<source> <n>", lines in
// the channel's own layout that are not such (torn or interleaved lines,
// anything else) and the discard lines.
//
// For tests linking logcore_static: they share the framework copy, and so the
// logger database, with the core library's functions.

#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/logging/LogConfig.h"
#include "common/logging/LogLevel.h"
#include "common/logging/LoggerDB.h"
#include "common/utilities/testing/TemporaryDirectory.h"

namespace quorvane::test {

struct Channel {
  std::string word;      // the file names start with word + "-"
  std::string handler;   // the channel's handler name
  std::string category;  // a category whose messages reach only this channel
  LogLevel level;        // at a level that reaches only this channel
  std::regex line;       // a numbered line: the text "<source> <n>" in the layout
};

// The four channels; messages logged as ForeignLogger does (file
// src/foreign/Module.cpp, line 42).
inline const std::vector<Channel>& channels() {
  static const std::vector<Channel> all = {
      {"kestro", "kestroLog", "app", LogLevel::INFO,
       std::regex(R"(^[VIWECF]\d{4} \d{2}:\d{2}:\d{2}\.\d{6}[-+]\d{4} +\d+ Module\.cpp:42\] )"
                  R"((\S+) (\d+)$)")},
      {"qsyn", "qsynLog", "qsyn.Database", LogLevel::DBG,
       std::regex(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}[-+]\d{4}\(src/foreign/Module\.cpp\): )"
                  R"(\[U:D:\] (\S+) (\d+)$)")},
      {"rtc", "rtcLog", "rtc", LogLevel::DBG,
       std::regex(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}[-+]\d{4}\(src/foreign/Module\.cpp\): )"
                  R"(\[U::\] (\S+) (\d+)$)")},
      {"trace", "traceLog", "trace", LogLevel::DBG,
       std::regex(R"(^\{"pid":\d+,"tid":\d+,(\S+) (\d+)\},$)")},
  };
  return all;
}

// Gives every channel the size limit `maxFileSize` (a merge of that one option
// into the running handlers; each gets a new writer).
inline void limitChannelFileSize(uint64_t maxFileSize) {
  LogConfig config;
  for (const Channel& channel : channels()) {
    config.handlerConfigs().emplace(
        channel.handler,
        LogHandlerConfig(LogHandlerConfig::Options{{"maxFileSize", std::to_string(maxFileSize)}}));
  }
  LoggerDB::get().applyConfig(config);
}

struct ChannelLines {
  std::map<std::string, std::vector<long>> bySource;  // numbers in file order
  std::vector<std::string> malformed;
  long discarded = 0;
  size_t files = 0;
};

// The lines of the channel's files in `dir` (names starting with its word and
// "-", and holding `nameTag` when given, such as "-p<pid>-"), files in name
// order, which is the order they were opened in.
inline ChannelLines readChannel(const TemporaryDirectory& dir, const Channel& channel,
                                std::string_view nameTag = "") {
  static const std::regex discardLine(
      "^(\\d+) log messages were discarded because the logging rate exceeded the write rate$");
  ChannelLines result;
  for (const std::string& name : dir.fileNamesStartingWith(channel.word + "-")) {
    if (name.find(nameTag) == std::string::npos) {
      continue;
    }
    ++result.files;
    std::istringstream in(dir.contentsOf(name));
    std::string line;
    std::smatch match;
    while (std::getline(in, line)) {
      if (std::regex_match(line, match, channel.line)) {
        result.bySource[match[1]].push_back(std::stol(match[2]));
      } else if (std::regex_match(line, match, discardLine)) {
        result.discarded += std::stol(match[1]);
      } else {
        result.malformed.push_back(line);
      }
    }
  }
  return result;
}

// Whether the lines of `source` are numbered exactly 0, 1, ..., count - 1.
inline bool isCompleteSequence(const ChannelLines& lines, const std::string& source, long count) {
  auto it = lines.bySource.find(source);
  if (it == lines.bySource.end()) {
    return count == 0;
  }
  const std::vector<long>& numbers = it->second;
  if (static_cast<long>(numbers.size()) != count) {
    return false;
  }
  for (long i = 0; i < count; ++i) {
    if (numbers[i] != i) {
      return false;
    }
  }
  return true;
}

}  // namespace quorvane::test
