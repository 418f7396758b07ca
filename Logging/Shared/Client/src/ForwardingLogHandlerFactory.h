#pragma once

// ForwardingLogHandlerFactory: the handler type "kestroForward" of a module's
// own logger database. Its handlers pass every message they receive, by
// reference and unformatted, to logcore's handleMessage, which routes it by the
// message's own category name through logcore's configuration; logcore alone
// writes files.
//
// Options are ignored: any options, unknown ones included, are accepted. A
// forwarding handler has no state: flush() does nothing (flushing logcore is
// what puts forwarded messages on disk) and getConfig() reports an empty
// configuration (no type, no options). Errors while handling a message belong
// to logcore's handlers; the forwarding handler adds no handling of its own.
//
// Thread safety: a handler may be called from any number of threads at once.

#include <memory>
#include <string_view>

#include "common/logging/LogHandlerFactory.h"

namespace quorvane::kestro::logging {

class ForwardingLogHandlerFactory : public LogHandlerFactory {
 public:
  static constexpr std::string_view kType = "kestroForward";

  std::string_view getType() const override { return kType; }
  std::shared_ptr<LogHandler> createHandler(const Options& options) override;
};

}  // namespace quorvane::kestro::logging
