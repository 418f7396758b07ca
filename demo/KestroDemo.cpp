// The demo plays the application's part around the logging core library: it
// initialises logcore into a new log directory, logs on every channel from
// several threads (through its own copy of the framework, forwarding into
// logcore as an addon does), changes the user id, replaces the configuration
// with one read from a JSON file, flushes, and shows the files written.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/logging/Log.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogHandler.h"
#include "common/logging/LogMessage.h"
#include "common/logging/Logger.h"
#include "common/logging/LoggerDB.h"
#include "kestro/logcore.h"
#include "tools/json/Json.h"

namespace {

using namespace quorvane;
namespace core = quorvane::kestro::logging;

// Hands every message of the demo's own database to logcore, which routes it
// by category name through its channels.
class ForwardToCore : public LogHandler {
 public:
  void handleMessage(const LogMessage& message, const LogCategory* handlerCategory) override {
    core::handleMessage(message, handlerCategory);
  }
  void flush() override {}
  LogHandlerConfig getConfig() const override { return LogHandlerConfig{"forward"}; }
};

void step(const char* text) { std::printf("\n== %s\n", text); }

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Logs a little on every channel from `threads` threads.
void logEverywhere(int threads, const char* phase) {
  static const Logger kApp("app.ui");
  static const Logger kSync("qsyn.Database");
  static const Logger kMqtt("qsyn.Network.mqtt_client");
  static const Logger kRtc("rtc");
  static const Logger kTrace("trace");
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([t, phase] {
      for (int i = 0; i < 3; ++i) {
        KLOGF_TO(kApp, INFO, "[{}] worker {} rendered frame {}", phase, t, i);
        KLOGF_TO(kSync, DBG, "[{}] worker {} applied {} rows", phase, t, 10 * i);
        KLOGF_TO(kMqtt, INFO, "[{}] worker {} published packet {}", phase, t, i);
        KLOGF_TO(kRtc, DBG, "[{}] worker {} jitter {} ms", phase, t, i * 3);
        KLOGF_TO(kTrace, DBG, R"("name":"frame{}","id":"{}","ph":"X","cat":"demo","ts":{})", i, t,
                 1000 * i);
      }
      KLOGF_TO(kSync, WARN, "[{}] worker {} sync is slow", phase, t);
      KLOGF_TO(kRtc, ERR, "[{}] worker {} lost a call", phase, t);
    });
  }
  for (auto& worker : workers) {
    worker.join();
  }
  KLOGF(INFO, "[{}] a per-file statement in the demo's own source", phase);
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir;
  if (argc > 1) {
    dir = argv[1];
    std::filesystem::create_directories(dir);
  } else {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestro-demo-XXXXXX").string();
    dir = ::mkdtemp(pattern.data());
  }
  std::printf("log directory: %s\n", dir.c_str());

  // The demo's own database forwards everything to logcore, which decides.
  LoggerDB& db = LoggerDB::get();
  db.categoryFor("")->setHandlers({std::make_shared<ForwardToCore>()});
  db.setLevel("", LogLevel::DBG, false);

  step("initLogging(dir, \"demo\", \"1001\", trace on), then four threads log on every channel");
  core::initLogging(dir, "demo", "1001", true);
  logEverywhere(4, "start");

  step("updateLoggingWithUserId(\"2002\"): every channel moves to a new file");
  core::updateLoggingWithUserId("2002");
  logEverywhere(2, "user 2002");

  step("setCompleteMasterLogConfig from " DEMO_MASTER_CONFIG);
  core::setCompleteMasterLogConfig(parseJson(readFile(DEMO_MASTER_CONFIG)));
  std::printf("sync engine now at INFO, rtc at WARN, mqtt_client at WARN\n");
  logEverywhere(2, "replaced");

  core::flushLogs();

  step("files written");
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& path : files) {
    std::string text = readFile(path);
    size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    std::printf("\n%s  (%zu lines, %zu bytes)\n", path.filename().c_str(), lines, text.size());
    std::istringstream in(text);
    std::string line;
    for (int shown = 0; shown < 3 && std::getline(in, line); ++shown) {
      std::printf("  %s\n", line.c_str());
    }
  }

  core::deinitLogging();
  return 0;
}
