#pragma once

// Test handlers shared by the framework's tests.
//
// CapturingLogHandler records every message it handles (a copy of the fields
// tests look at) and counts calls. ThrowingLogHandler throws from
// handleMessage. Both are thread-safe.

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/logging/LogCategory.h"
#include "common/logging/LogHandler.h"
#include "common/logging/LogMessage.h"

namespace quorvane::test {

struct CapturedMessage {
  std::string text;  // messageText()
  LogLevel level;
  std::string category;         // the message's own category
  std::string handlerCategory;  // where the handler was found
  std::string fileName;
  std::string fileBaseName;
  unsigned int lineNumber;
  std::string functionName;
  uint64_t threadId;
};

class CapturingLogHandler : public LogHandler {
 public:
  explicit CapturingLogHandler(LogHandlerConfig config = LogHandlerConfig{"capture"})
      : config_(std::move(config)) {}

  void handleMessage(const LogMessage& message, const LogCategory* handlerCategory) override {
    CapturedMessage captured{message.messageText(),
                             message.level(),
                             message.category()->name(),
                             handlerCategory->name(),
                             std::string(message.fileName()),
                             std::string(message.fileBaseName()),
                             message.lineNumber(),
                             std::string(message.functionName()),
                             message.threadId()};
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(std::move(captured));
  }
  void flush() override { flushCount_.fetch_add(1, std::memory_order_relaxed); }
  LogHandlerConfig getConfig() const override { return config_; }

  std::vector<CapturedMessage> messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const auto& m : messages()) {
      result.push_back(m.text);
    }
    return result;
  }
  size_t messageCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.size();
  }
  int flushCount() const { return flushCount_.load(std::memory_order_relaxed); }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
  }

 private:
  LogHandlerConfig config_;
  mutable std::mutex mutex_;
  std::vector<CapturedMessage> messages_;
  std::atomic<int> flushCount_{0};
};

class ThrowingLogHandler : public LogHandler {
 public:
  void handleMessage(const LogMessage&, const LogCategory*) override {
    calls_.fetch_add(1, std::memory_order_relaxed);
    throw std::runtime_error("handler failure");
  }
  void flush() override {}
  LogHandlerConfig getConfig() const override { return LogHandlerConfig{"throwing"}; }
  int calls() const { return calls_.load(std::memory_order_relaxed); }

 private:
  std::atomic<int> calls_{0};
};

}  // namespace quorvane::test
