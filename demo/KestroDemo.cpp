// A small program that logs through the framework: the default configuration
// (INFO and above to standard error in the glog layout), categories and
// levels, and a configuration applied from JSON text that adds a handler with
// a custom line format.

#include <cstdio>
#include <string>

#include "common/logging/Log.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogConfigParser.h"
#include "common/logging/Logger.h"
#include "common/logging/LoggerDB.h"
#include "tools/json/Json.h"

namespace {

using namespace quorvane;

void section(const char* title) {
  std::fflush(stdout);
  std::fprintf(stderr, "\n== %s\n", title);
}

constexpr const char* kConfig = R"json({
  "categories": {
    "qsyn": {"level": "DBG", "inherit": false, "propagate": "WARN", "handlers": ["sync"]},
    "qsyn.Network": {"level": "INFO", "inherit": false}
  },
  "handlers": {
    "sync": {
      "type": "stream",
      "options": {
        "stream": "stderr",
        "async": "false",
        "formatter": "custom",
        "log_format": "sync {L} {H:02d}:{M:02d}:{S:02d} [{THREAD}] {FILE}:{LINE}",
        "colored": "auto"
      }
    }
  }
})json";

}  // namespace

int main() {
  LoggerDB& db = LoggerDB::get();
  static const Logger kSync("qsyn.Database");
  static const Logger kNetwork("qsyn.Network.mqtt_client");

  section("no set-up: INFO and above go to standard error in the glog layout");
  KLOG(INFO) << "a per-file statement logs to the category of its source path";
  KLOGF(WARN, "{} attempts left", 2);
  KLOG(DBG) << "not shown: the root is at INFO";
  KLOGF_TO(kSync, DBG, "not shown either ({} rows)", 12);

  section("configuration applied from JSON text");
  std::fprintf(stderr, "%s\n", kConfig);
  db.applyConfig(configFromDynamic(parseJson(kConfig)));

  section("qsyn at DBG with its own custom-format handler; WARN and above also reach the root");
  KLOGF_TO(kSync, DBG, "applied {} rows", 12);
  KLOGF_TO(kSync, INFO, "checkpoint {}", 7);
  KLOGF_TO(kSync, WARN, "slow query took {} ms", 250);
  KLOGF_TO(kNetwork, DBG, "not shown: qsyn.Network does not inherit DBG from qsyn ({})", "nor does mqtt_client");
  KLOGF_TO(kNetwork, INFO, "connected to {}:{}", "edge.example", 443);

  section("numbered levels and their text forms");
  for (const char* text : {"dbg3", "INFO2", "LogLevel::WARN", "LogLevel(4000)"}) {
    LogLevel level = parseLogLevel(text);
    std::fprintf(stderr, "  %-15s -> %u (%s)\n", text, toUnderlying(level),
                 logLevelName(level).c_str());
  }

  section("escaping: control bytes are made visible, every line gets a header");
  KLOG(INFO) << "bell:\a backslash:\\\nsecond line";

  section("the running configuration, reported back as JSON");
  std::fprintf(stderr, "%s\n", toJson(configToDynamic(db.currentConfig()), 2).c_str());
  return 0;
}
