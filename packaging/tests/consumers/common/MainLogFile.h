#pragma once

// What the consumer programs check: the lines of logcore's main file that a
// program started with file tag "consumer" and user id "u7" wrote.

#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <regex>
#include <string>

namespace consumer {

// The text of this process's main files in `dir`, named as logcore names
// them: kestro-consumer-d<yyyymmdd>-t<hhmmss>-p<pid>-idu7.log.
inline std::string mainLogText(const std::string& dir) {
  const std::regex name("kestro-consumer-d[0-9]{8}-t[0-9]{6}-p" + std::to_string(::getpid()) +
                        "-idu7\\.log");
  std::string text;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (std::regex_match(entry.path().filename().string(), name)) {
      std::ifstream in(entry.path());
      text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  return text;
}

inline size_t occurrences(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
    ++count;
  }
  return count;
}

// Whether `piece` is in `text` exactly `expected` times; says so when not.
inline bool appears(const std::string& text, const std::string& piece, size_t expected) {
  const size_t found = occurrences(text, piece);
  if (found != expected) {
    std::cerr << "\"" << piece << "\": " << found << " times in the main file, expected "
              << expected << "\n--- main file ---\n"
              << text << "---\n";
  }
  return found == expected;
}

}  // namespace consumer
