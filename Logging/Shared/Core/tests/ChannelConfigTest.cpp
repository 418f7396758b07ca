#include "Logging/Shared/Core/src/ChannelConfig.h"

#include <gtest/gtest.h>

#include "common/logging/LoggerDB.h"

namespace quorvane::kestro::logging {
namespace {

TEST(ChannelConfigTest, SuffixAndPrefixesAreConcatenatedAsGiven) {
  EXPECT_EQ(logFileSuffix(4242, "77"), "-p4242-id77.log");
  EXPECT_EQ(logFileSuffix(1, ""), "-p1-id.log");

  LogConfig config = channelConfig("/var/log/app/", "main", "-p4242-id77.log", false);
  const auto& handlers = config.handlerConfigs();
  ASSERT_EQ(handlers.size(), 4u);
  EXPECT_EQ(handlers.at("kestroLog"),
            LogHandlerConfig("kestroGlog", {{"prefix", "/var/log/app//kestro-main-"},
                                            {"sync_level", "WARN"},
                                            {"suffix", "-p4242-id77.log"}}));
  EXPECT_EQ(handlers.at("qsynLog").type, "kestroXqsyn");
  EXPECT_EQ(handlers.at("qsynLog").options.at("prefix"), "/var/log/app//qsyn-main-");
  EXPECT_EQ(handlers.at("rtcLog").type, "kestroRtc");
  EXPECT_EQ(handlers.at("rtcLog").options.at("prefix"), "/var/log/app//rtc-main-");
  EXPECT_EQ(handlers.at("traceLog").type, "kestroTrace");
  EXPECT_EQ(handlers.at("traceLog").options.at("maxFileSize"), "2147483647");
  EXPECT_EQ(handlers.at("traceLog").options.count("maxLogAge"), 0u);
}

TEST(ChannelConfigTest, TraceIsRoutedOnlyWhenEnabled) {
  LogConfig off = channelConfig("d", "t", ".log", false);
  const LogCategoryConfig& traceOff = off.categoryConfigs().at("trace");
  EXPECT_EQ(traceOff.level, LogLevel::INFO);
  EXPECT_EQ(traceOff.handlers, std::vector<std::string>{});
  EXPECT_EQ(traceOff.propagate, LogLevel::WARN);

  LogConfig on = channelConfig("d", "t", ".log", true);
  const LogCategoryConfig& traceOn = on.categoryConfigs().at("trace");
  EXPECT_EQ(traceOn.level, LogLevel::DBG);
  EXPECT_EQ(traceOn.handlers, std::vector<std::string>{"traceLog"});
  EXPECT_EQ(on.categoryConfigs().size(), 6u);
}

TEST(ChannelConfigTest, RegisteringTheTypesTwiceReplacesThem) {
  LoggerDB db;
  registerChannelHandlerFactories(db);
  registerChannelHandlerFactories(db);
  db.applyConfig(channelConfig("/nonexistent", "t", ".log", true));
  LogConfig reported = db.currentConfig();
  EXPECT_EQ(reported.handlerConfigs().size(), 4u);
  EXPECT_EQ(reported.categoryConfigs().at("rtc").propagate, LogLevel::ERR);
  EXPECT_EQ(reported.categoryConfigs().at("qsyn.Network.mqtt_client").level, LogLevel::INFO);
}

}  // namespace
}  // namespace quorvane::kestro::logging
