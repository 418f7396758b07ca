#pragma once

// InternalWarningCapture: installs an internal-warning hook for one scope and
// records every warning (source file, line, text). Lifts the rate limit while
// installed so tests see every warning, and restores it afterwards.
//
// Only one capture may be installed at a time (the hook is process-wide).
// Thread-safe: warnings may arrive on writer threads.

#include <atomic>
#include <chrono>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/logging/LoggerDB.h"

namespace quorvane::test {

struct CapturedWarning {
  std::string sourceFile;
  int lineNumber;
  std::string text;
};

// Readable failure messages in tests.
inline void PrintTo(const CapturedWarning& warning, std::ostream* out) {
  *out << warning.sourceFile << ":" << warning.lineNumber << ": " << warning.text;
}

class InternalWarningCapture {
 public:
  InternalWarningCapture() {
    instance() = this;
    LoggerDB::setInternalWarningRateLimit(1'000'000'000, std::chrono::seconds(1));
    previous_ = LoggerDB::setInternalWarningHook(&InternalWarningCapture::hook);
  }
  ~InternalWarningCapture() {
    LoggerDB::setInternalWarningHook(previous_);
    LoggerDB::setInternalWarningRateLimit(10, std::chrono::seconds(1));
    instance() = nullptr;
  }
  InternalWarningCapture(const InternalWarningCapture&) = delete;
  InternalWarningCapture& operator=(const InternalWarningCapture&) = delete;

  std::vector<CapturedWarning> warnings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return warnings_;
  }
  size_t count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return warnings_.size();
  }

 private:
  static std::atomic<InternalWarningCapture*>& instance() {
    static std::atomic<InternalWarningCapture*> current{nullptr};
    return current;
  }
  static void hook(std::string_view file, int line, std::string_view text) {
    InternalWarningCapture* self = instance().load();
    if (self == nullptr) {
      return;
    }
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->warnings_.push_back({std::string(file), line, std::string(text)});
  }

  mutable std::mutex mutex_;
  std::vector<CapturedWarning> warnings_;
  LoggerDB::InternalWarningHook previous_ = nullptr;
};

}  // namespace quorvane::test
