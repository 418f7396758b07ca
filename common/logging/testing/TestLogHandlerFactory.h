#pragma once

// TestLogHandlerFactory: a handler factory for configuration tests. It builds
// CapturingLogHandlers that report their type and options back through
// getConfig, and records every handler it built (weakly, so tests can see
// when the database destroys one).
//
// updateHandler either keeps the existing object or builds a new one
// (setUpdateMode), so tests can check substitution across categories. The
// option "fail" makes createHandler/updateHandler throw std::runtime_error
// with the option's value as message.
//
// The factory is owned by the database it is registered with; tests keep the
// shared Record to observe it afterwards. Not thread-safe: only called by
// configuration operations, which the database serialises.

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/logging/LogHandlerFactory.h"
#include "common/logging/testing/CapturingLogHandler.h"

namespace quorvane::test {

class TestLogHandlerFactory : public LogHandlerFactory {
 public:
  enum class UpdateMode { KeepExisting, CreateNew };

  struct Record {
    UpdateMode updateMode = UpdateMode::CreateNew;
    int createCalls = 0;
    int updateCalls = 0;
    // Every handler built, in order.
    std::vector<std::weak_ptr<CapturingLogHandler>> built;

    size_t aliveCount() const {
      size_t alive = 0;
      for (const auto& weak : built) {
        alive += weak.expired() ? 0 : 1;
      }
      return alive;
    }
  };

  explicit TestLogHandlerFactory(std::string type,
                                 std::shared_ptr<Record> record = std::make_shared<Record>())
      : type_(std::move(type)), record_(std::move(record)) {}

  // Registers a new factory of `type` with `db` and returns its record.
  template <typename DB>
  static std::shared_ptr<Record> install(DB& db, std::string type,
                                         UpdateMode mode = UpdateMode::CreateNew) {
    auto record = std::make_shared<Record>();
    record->updateMode = mode;
    db.addHandlerFactory(std::make_unique<TestLogHandlerFactory>(std::move(type), record));
    return record;
  }

  std::string_view getType() const override { return type_; }

  std::shared_ptr<LogHandler> createHandler(const Options& options) override {
    ++record_->createCalls;
    return build(options);
  }

  std::shared_ptr<LogHandler> updateHandler(const std::shared_ptr<LogHandler>& existing,
                                            const Options& options) override {
    ++record_->updateCalls;
    if (record_->updateMode == UpdateMode::KeepExisting) {
      failIfAsked(options);
      return existing;
    }
    return build(options);
  }

  const std::shared_ptr<Record>& record() const { return record_; }

 private:
  static void failIfAsked(const Options& options) {
    if (auto it = options.find("fail"); it != options.end()) {
      throw std::runtime_error(it->second);
    }
  }

  std::shared_ptr<LogHandler> build(const Options& options) {
    failIfAsked(options);
    auto handler = std::make_shared<CapturingLogHandler>(LogHandlerConfig{type_, options});
    record_->built.push_back(handler);
    return handler;
  }

  std::string type_;
  std::shared_ptr<Record> record_;
};

}  // namespace quorvane::test
