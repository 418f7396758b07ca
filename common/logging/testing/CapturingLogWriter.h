#pragma once

// CapturingLogWriter: a LogWriter that keeps every text it is given and counts
// flushes, for tests of handlers and formatters. writesToTerminal answers what
// the test sets. Thread-safe.

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "common/logging/LogWriter.h"

namespace quorvane::test {

class CapturingLogWriter : public LogWriter {
 public:
  explicit CapturingLogWriter(bool terminal = false) : terminal_(terminal) {}

  void writeMessage(std::string_view buffer, uint32_t flags = 0) override {
    writeMessage(std::string(buffer), flags);
  }
  void writeMessage(std::string&& buffer, uint32_t flags = 0) override {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(std::move(buffer));
    flags_.push_back(flags);
  }
  void flush() override { flushCount_.fetch_add(1, std::memory_order_relaxed); }
  bool writesToTerminal() const override { return terminal_; }

  std::vector<std::string> messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  std::vector<uint32_t> flags() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return flags_;
  }
  int flushCount() const { return flushCount_.load(std::memory_order_relaxed); }

 private:
  const bool terminal_;
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
  std::vector<uint32_t> flags_;
  std::atomic<int> flushCount_{0};
};

}  // namespace quorvane::test
