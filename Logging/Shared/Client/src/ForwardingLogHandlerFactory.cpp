#include "Logging/Shared/Client/src/ForwardingLogHandlerFactory.h"

#include "common/logging/LogHandler.h"
#include "kestro/logcore.h"

namespace quorvane::kestro::logging {
namespace {

class ForwardingLogHandler : public LogHandler {
 public:
  void handleMessage(const LogMessage& message, const LogCategory* handlerCategory) override {
    logging::handleMessage(message, handlerCategory);
  }
  void flush() override {}
  LogHandlerConfig getConfig() const override { return {}; }
};

}  // namespace

std::shared_ptr<LogHandler> ForwardingLogHandlerFactory::createHandler(const Options& /*options*/) {
  return std::make_shared<ForwardingLogHandler>();
}

}  // namespace quorvane::kestro::logging
