#include "Logging/Shared/Core/src/ChannelConfig.h"

#include <memory>
#include <string>
#include <vector>

#include "Logging/Shared/Core/src/KestroStyleFormatter.h"
#include "Logging/Shared/Core/src/QsynStyleLogFormatter.h"
#include "Logging/Shared/Core/src/RotatingLogHandlerFactory.h"
#include "Logging/Shared/Core/src/SystraceStyleLogFormatter.h"
#include "common/logging/LoggerDB.h"

namespace quorvane::kestro::logging {
namespace {

LogHandlerConfig channelHandler(std::string_view type, std::string_view logDirectory,
                                std::string_view channel, std::string_view fileTag,
                                std::string_view suffix) {
  std::string prefix(logDirectory);
  prefix += '/';
  prefix += channel;
  prefix += '-';
  prefix += fileTag;
  prefix += '-';
  return LogHandlerConfig(
      type, {{"prefix", prefix}, {"sync_level", "WARN"}, {"suffix", std::string(suffix)}});
}

LogCategoryConfig category(LogLevel level, bool inherit, LogLevel propagate) {
  LogCategoryConfig config(level, inherit);
  config.propagate = propagate;
  return config;
}

LogCategoryConfig category(LogLevel level, bool inherit, LogLevel propagate,
                           std::vector<std::string> handlers) {
  LogCategoryConfig config(level, inherit, std::move(handlers));
  config.propagate = propagate;
  return config;
}

}  // namespace

std::string logFileSuffix(pid_t pid, std::string_view userId) {
  std::string suffix = "-p" + std::to_string(pid) + "-id";
  suffix += userId;
  suffix += ".log";
  return suffix;
}

LogConfig channelConfig(std::string_view logDirectory, std::string_view fileTag,
                        std::string_view suffix, bool traceEnabled) {
  LogConfig config;
  auto& handlers = config.handlerConfigs();
  handlers.emplace("kestroLog",
                   channelHandler("kestroGlog", logDirectory, "kestro", fileTag, suffix));
  handlers.emplace("qsynLog", channelHandler("kestroXqsyn", logDirectory, "qsyn", fileTag, suffix));
  handlers.emplace("rtcLog", channelHandler("kestroRtc", logDirectory, "rtc", fileTag, suffix));
  LogHandlerConfig trace = channelHandler("kestroTrace", logDirectory, "trace", fileTag, suffix);
  // In practice the trace log rotates only by age.
  trace.options["maxFileSize"] = "2147483647";
  handlers.emplace("traceLog", std::move(trace));

  auto& categories = config.categoryConfigs();
  categories.emplace("", category(LogLevel::INFO, true, LogLevel::NONE, {"kestroLog"}));
  // The list is set either way: a merge after a configuration with tracing on
  // must take the trace handler off again.
  categories.emplace("trace", traceEnabled
                                  ? category(LogLevel::DBG, true, LogLevel::WARN, {"traceLog"})
                                  : category(LogLevel::INFO, true, LogLevel::WARN, {}));
  categories.emplace("qsyn", category(LogLevel::DBG, false, LogLevel::WARN, {"qsynLog"}));
  categories.emplace("qsyn.Network.mqtt_client", category(LogLevel::INFO, false, LogLevel::NONE));
  categories.emplace("qsyn.Network.mqtt_channel", category(LogLevel::INFO, false, LogLevel::NONE));
  categories.emplace("rtc", category(LogLevel::DBG, false, LogLevel::ERR, {"rtcLog"}));
  return config;
}

void registerChannelHandlerFactories(LoggerDB& db) {
  db.addHandlerFactory(
      std::make_unique<RotatingLogHandlerFactory<KestroStyleFormatter>>(
          "kestroGlog", /*reportsCrashes=*/true),
      /*replaceExisting=*/true);
  db.addHandlerFactory(
      std::make_unique<RotatingLogHandlerFactory<QsynStyleLogFormatter>>("kestroXqsyn"), true);
  db.addHandlerFactory(
      std::make_unique<RotatingLogHandlerFactory<QsynStyleLogFormatter>>("kestroRtc"), true);
  db.addHandlerFactory(
      std::make_unique<RotatingLogHandlerFactory<SystraceStyleLogFormatter>>("kestroTrace"), true);
}

}  // namespace quorvane::kestro::logging
