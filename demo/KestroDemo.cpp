// A small program that logs through the framework: levels, categories and how
// messages propagate up the category tree.

#include <cstdio>
#include <memory>
#include <string>

#include "common/logging/Log.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogHandler.h"
#include "common/logging/LogMessage.h"
#include "common/logging/Logger.h"
#include "common/logging/LoggerDB.h"

namespace {

using namespace quorvane;

// Prints each message with the category whose handler list it was found in.
class PrintingHandler : public LogHandler {
 public:
  explicit PrintingHandler(std::string label) : label_(std::move(label)) {}
  void handleMessage(const LogMessage& message, const LogCategory* handlerCategory) override {
    std::printf("  [%s handler at '%s'] %-5s %s: %s\n", label_.c_str(),
                handlerCategory->name().c_str(), logLevelName(message.level()).c_str(),
                message.category()->name().c_str(), message.messageText().c_str());
  }
  void flush() override { std::fflush(stdout); }
  LogHandlerConfig getConfig() const override { return LogHandlerConfig{"printing"}; }

 private:
  std::string label_;
};

void section(const char* title) { std::printf("\n== %s\n", title); }

}  // namespace

int main() {
  LoggerDB& db = LoggerDB::get();
  db.categoryFor("")->setHandlers({std::make_shared<PrintingHandler>("root")});
  db.categoryFor("qsyn")->setHandlers({std::make_shared<PrintingHandler>("sync")});

  static const Logger kSync("qsyn.Database");
  static const Logger kNetwork("qsyn.Network");

  section("root at INFO: INFO passes, DBG does not");
  KLOG(INFO) << "a per-file statement logs to its source path's category";
  KLOG(DBG) << "not shown";

  section("qsyn opened to DBG (not inheriting): its children follow");
  db.setLevel("qsyn", LogLevel::DBG, false);
  KLOGF_TO(kSync, DBG, "applied {} rows", 12);
  KLOGF_TO(kNetwork, INFO, "connected to {}:{}", "edge.example", 443);

  section("qsyn stops propagating below WARN: INFO stays in the sync handler");
  db.categoryFor("qsyn")->setPropagationLevel(LogLevel::WARN);
  KLOGF_TO(kSync, INFO, "checkpoint {}", 7);
  KLOGF_TO(kSync, WARN, "slow query took {} ms", 250);

  section("numbered levels and text forms");
  for (const char* text : {"dbg3", "INFO2", "LogLevel::WARN", "LogLevel(4000)"}) {
    LogLevel level = parseLogLevel(text);
    std::printf("  %-15s -> %u (%s)\n", text, toUnderlying(level), logLevelName(level).c_str());
  }

  section("escaping: control bytes are made visible, newlines kept");
  KLOG(INFO) << "bell:\a backslash:\\ tab:\t";
  return 0;
}
