#pragma once

// LogHandlerFactory: builds handlers of one type from string options. One
// factory per type name is registered with a LoggerDB.
//
// Thread safety: only called while the logger database applies a
// configuration, which it serialises; a factory must not call back into the
// configuration operations of the same database.

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorvane {

class LogHandler;

class LogHandlerFactory {
 public:
  using Options = std::unordered_map<std::string, std::string>;

  virtual ~LogHandlerFactory() = default;

  // The handler type name this factory serves. The view stays valid for the
  // factory's lifetime.
  virtual std::string_view getType() const = 0;

  // Builds a new handler; throws a standard exception on unknown options or
  // bad values.
  virtual std::shared_ptr<LogHandler> createHandler(const Options& options) = 0;

  // Builds the handler that takes `existingHandler`'s place under new options.
  // Returning the existing object keeps it; returning another object makes the
  // database substitute it in every category. The default builds a new one.
  virtual std::shared_ptr<LogHandler> updateHandler(
      const std::shared_ptr<LogHandler>& existingHandler, const Options& options) {
    (void)existingHandler;
    return createHandler(options);
  }
};

}  // namespace quorvane
