// The core library's exported interface, through the shared library itself.
// Every case runs in its own process, so the library's process-wide state
// starts fresh.

#include "kestro/logcore.h"

#include <glog/logging.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <regex>
#include <thread>

#include "Logging/Shared/Core/tests/ForwardingTestSupport.h"
#include "common/logging/LogConfigParser.h"
#include "common/utilities/testing/ErrorText.h"
#include "common/utilities/testing/TemporaryDirectory.h"

namespace quorvane::kestro::logging {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::SizeIs;

class KestroLoggingTest : public ::testing::Test {
 protected:
  void init(std::string userId = "77", bool trace = false) {
    initLogging(dir_.path(), "main", std::move(userId), trace);
  }
  // The contents of the channel's files, in name order.
  std::string channel(const std::string& word) {
    std::string all;
    for (const auto& name : dir_.fileNamesStartingWith(word + "-main-")) {
      all += dir_.contentsOf(name);
    }
    return all;
  }
  static void waitForNextSecond() {
    auto now = std::chrono::system_clock::now();
    auto next = std::chrono::ceil<std::chrono::seconds>(now);
    std::this_thread::sleep_until(next + std::chrono::milliseconds(5));
  }

  test::TemporaryDirectory dir_;
  test::ForeignLogger module_;
};

TEST_F(KestroLoggingTest, FilesAreNamedAfterChannelTimeProcessAndUser) {
  init();
  module_.log("app", LogLevel::INFO, "hello");
  flushLogs();
  auto names = dir_.fileNames();
  ASSERT_THAT(names, SizeIs(1));
  EXPECT_TRUE(std::regex_match(names[0], std::regex("kestro-main-d[0-9]{8}-t[0-9]{6}-p" +
                                                    std::to_string(::getpid()) + "-id77\\.log")))
      << names[0];
  EXPECT_THAT(dir_.contentsOf(names[0]), ::testing::EndsWith(" Module.cpp:42] hello\n"));
}

TEST_F(KestroLoggingTest, RoutingWithoutTrace) {
  init();
  module_.log("app.ui", LogLevel::INFO, "ui-info");
  module_.log("app.ui", LogLevel::DBG, "ui-dbg");
  module_.log("qsyn.Database", LogLevel::DBG, "db-dbg");
  module_.log("qsyn.Database", LogLevel::WARN, "db-warn");
  module_.log("qsyn.Network.mqtt_client", LogLevel::DBG, "mqtt-dbg");
  module_.log("qsyn.Network.mqtt_client", LogLevel::INFO, "mqtt-info");
  module_.log("rtc", LogLevel::ERR, "rtc-err");
  module_.log("rtc", LogLevel::WARN, "rtc-warn");
  module_.log("trace", LogLevel::DBG, "trace-dbg");
  module_.log("trace", LogLevel::WARN, "trace-warn");
  flushLogs();

  const std::string main = channel("kestro");
  const std::string sync = channel("qsyn");
  const std::string rtc = channel("rtc");
  for (const char* text : {"ui-info", "db-warn", "rtc-err", "trace-warn"}) {
    EXPECT_THAT(main, HasSubstr(text));
  }
  for (const char* text : {"ui-dbg", "db-dbg", "mqtt", "rtc-warn", "trace-dbg"}) {
    EXPECT_THAT(main, Not(HasSubstr(text)));
  }
  EXPECT_THAT(sync, HasSubstr("[U:D:] db-dbg\n"));
  EXPECT_THAT(sync, HasSubstr("[W:D:] db-warn\n"));
  EXPECT_THAT(sync, HasSubstr("[U:N:mqtt_client] mqtt-info\n"));
  EXPECT_THAT(sync, Not(HasSubstr("mqtt-dbg")));
  EXPECT_THAT(rtc, HasSubstr("[E::] rtc-err\n"));
  EXPECT_THAT(rtc, HasSubstr("[W::] rtc-warn\n"));
  EXPECT_THAT(dir_.fileNamesStartingWith("trace-"), SizeIs(0));
}

TEST_F(KestroLoggingTest, RoutingWithTrace) {
  init("77", true);
  module_.log("trace", LogLevel::DBG, "\"name\":\"open\"");
  module_.log("trace", LogLevel::WARN, "\"name\":\"late\"");
  flushLogs();
  const std::string trace = channel("trace");
  EXPECT_THAT(trace, HasSubstr(",\"name\":\"open\"},\n"));
  EXPECT_THAT(trace, HasSubstr("{\"pid\":" + std::to_string(::getpid()) + ",\"tid\":"));
  EXPECT_THAT(channel("kestro"), HasSubstr("\"name\":\"late\""));
  EXPECT_THAT(channel("kestro"), Not(HasSubstr("open")));
}

TEST_F(KestroLoggingTest, TurningTracingOffTakesTheTraceHandlerOffAgain) {
  init("77", true);
  module_.log("trace", LogLevel::DBG, "\"name\":\"on\"");
  flushLogs();
  init("77", false);
  module_.log("trace", LogLevel::DBG, "\"name\":\"off\"");
  module_.log("trace", LogLevel::WARN, "\"name\":\"late\"");
  flushLogs();
  EXPECT_THAT(dir_.fileNamesStartingWith("trace-"), SizeIs(1)) << "no trace file after the first";
  EXPECT_THAT(channel("trace"), HasSubstr("\"on\""));
  EXPECT_THAT(channel("trace"), Not(HasSubstr("\"off\"")));
  EXPECT_THAT(channel("trace"), Not(HasSubstr("late")));
  EXPECT_THAT(channel("kestro"), HasSubstr("\"name\":\"late\""));
  EXPECT_EQ(getLoggerConfig().categoryConfigs().at("trace").handlers, std::vector<std::string>{});
}

TEST_F(KestroLoggingTest, ANulByteInANamePartLeavesTheRunningChannelsInPlace) {
  init();
  module_.log("app", LogLevel::INFO, "before");
  const LogConfig running = getLoggerConfig();
  const std::string nul("\0", 1);
  updateLoggingWithUserId("8" + nul + "8");
  initLogging(dir_.path(), "ma" + nul + "in", "77", false);
  initLogging(dir_.path(), "main", "7" + nul + "8", false);
  initLogging(dir_.path() + nul + "/x", "main", "77", false);
  EXPECT_EQ(getLoggerConfig(), running);
  module_.log("app", LogLevel::INFO, "after");
  flushLogs();
  auto names = dir_.fileNames();
  ASSERT_THAT(names, SizeIs(1));
  EXPECT_THAT(names[0], ::testing::EndsWith("-id77.log"));
  EXPECT_THAT(dir_.contentsOf(names[0]), HasSubstr("before"));
  EXPECT_THAT(dir_.contentsOf(names[0]), HasSubstr("after"));
  // The stored id is still the old one: the real change goes ahead.
  updateLoggingWithUserId("88");
  EXPECT_THAT(getLoggerConfig().handlerConfigs().at("kestroLog").options.at("suffix"),
              ::testing::EndsWith("-id88.log"));
}

TEST_F(KestroLoggingTest, EveryForwardedMessageIsRoutedByItsOwnCategoryName) {
  init();
  for (int round = 0; round < 3; ++round) {
    const std::string n = std::to_string(round);
    auto earlier = std::make_unique<test::ForeignLogger>();
    earlier->log("qsyn.Database", LogLevel::DBG, "sync-" + n);
    earlier->log("app", LogLevel::INFO, "app-" + n);
    earlier.reset();
    // Another module's categories, likely where the destroyed ones were.
    test::ForeignLogger later;
    later.log("rtc.Call", LogLevel::DBG, "rtc-" + n);
    later.log("app", LogLevel::INFO, "app-again-" + n);
  }
  flushLogs();
  const std::string sync = channel("qsyn");
  const std::string rtc = channel("rtc");
  const std::string main = channel("kestro");
  for (const std::string n : {"0", "1", "2"}) {
    EXPECT_THAT(sync, HasSubstr("sync-" + n + "\n"));
    EXPECT_THAT(rtc, HasSubstr("rtc-" + n + "\n"));
    EXPECT_THAT(main, HasSubstr("app-" + n + "\n"));
    EXPECT_THAT(main, HasSubstr("app-again-" + n + "\n"));
  }
  EXPECT_THAT(sync, Not(HasSubstr("rtc-")));
  EXPECT_THAT(rtc, Not(HasSubstr("sync-")));
}

TEST_F(KestroLoggingTest, AUserIdChangeMovesEveryChannelToNewFiles) {
  init();
  module_.log("app", LogLevel::INFO, "before");
  module_.log("qsyn", LogLevel::DBG, "sync-before");
  flushLogs();
  updateLoggingWithUserId("88");
  module_.log("app", LogLevel::INFO, "after");
  module_.log("qsyn", LogLevel::DBG, "sync-after");
  flushLogs();

  auto main = dir_.fileNamesStartingWith("kestro-");
  ASSERT_THAT(main, SizeIs(2));
  std::sort(main.begin(), main.end(), [](const std::string& a, const std::string& b) {
    return a.substr(a.size() - 9) < b.substr(b.size() - 9);  // by "-idNN.log"
  });
  EXPECT_THAT(main[0], ::testing::EndsWith("-id77.log"));
  EXPECT_THAT(main[1], ::testing::EndsWith("-id88.log"));
  EXPECT_THAT(dir_.contentsOf(main[0]), HasSubstr("before"));
  EXPECT_THAT(dir_.contentsOf(main[0]), Not(HasSubstr("after")));
  EXPECT_THAT(dir_.contentsOf(main[1]), HasSubstr("after"));
  EXPECT_THAT(dir_.fileNamesStartingWith("qsyn-"), SizeIs(2));
  EXPECT_EQ(getLoggerConfig().handlerConfigs().at("rtcLog").options.at("suffix"),
            "-p" + std::to_string(::getpid()) + "-id88.log");
}

TEST_F(KestroLoggingTest, TheSameUserIdChangesNothing) {
  init();
  LogConfig before = getLoggerConfig();
  updateLoggingWithUserId("77");
  EXPECT_EQ(getLoggerConfig(), before);
}

TEST_F(KestroLoggingTest, AUserIdChangeBeforeInitKeepsTheDefaultHandler) {
  LogConfig before = getLoggerConfig();
  updateLoggingWithUserId("5");
  EXPECT_EQ(getLoggerConfig(), before);
  ASSERT_EQ(before.handlerConfigs().count("default"), 1u);
  EXPECT_EQ(before.handlerConfigs().at("default").options.count("suffix"), 0u);
}

TEST_F(KestroLoggingTest, ASecondInitStartsNewFiles) {
  init();
  module_.log("app", LogLevel::INFO, "first");
  flushLogs();
  waitForNextSecond();
  init();
  module_.log("app", LogLevel::INFO, "second");
  flushLogs();
  auto main = dir_.fileNamesStartingWith("kestro-");
  ASSERT_THAT(main, SizeIs(2));
  EXPECT_THAT(dir_.contentsOf(main[0]), HasSubstr("first"));
  EXPECT_THAT(dir_.contentsOf(main[1]), HasSubstr("second"));
}

int triggerCalls = 0;
void countingTrigger() { ++triggerCalls; }
int otherCalls = 0;
void otherTrigger() { ++otherCalls; }

TEST_F(KestroLoggingTest, TriggersFireOncePerChangeAndOnlyOnSuccess) {
  addLogConfigChangedTrigger(&countingTrigger);
  addLogConfigChangedTrigger(&countingTrigger);
  addLogConfigChangedTrigger(nullptr);
  removeLogConfigChangedTrigger(&otherTrigger);  // never added
  init();
  EXPECT_EQ(triggerCalls, 1);
  EXPECT_EQ(otherCalls, 0);

  EXPECT_THROW(setCompleteMasterLogConfig(dynamic(5)), LogConfigParseError);
  EXPECT_THROW(setCompleteMasterLogConfig(dynamic::object().insert(
                   "categories",
                   dynamic::object().insert("x", dynamic::object()
                                                     .insert("level", "INFO")
                                                     .insert("handlers", dynamic::array("nope"))))),
               std::invalid_argument);
  EXPECT_EQ(triggerCalls, 1);

  setCompleteMasterLogConfig(getCompleteMasterLogConfig());
  EXPECT_EQ(triggerCalls, 2);
  removeLogConfigChangedTrigger(&countingTrigger);
  init();
  EXPECT_EQ(triggerCalls, 2);
}

TEST_F(KestroLoggingTest, TheCompleteConfigurationRoundTrips) {
  init();
  dynamic complete = getCompleteMasterLogConfig();
  ASSERT_TRUE(complete.isObject());
  EXPECT_NE(complete.get_ptr("categories"), nullptr);
  EXPECT_NE(complete.get_ptr("handlers"), nullptr);
  LogConfig before = getLoggerConfig();
  setCompleteMasterLogConfig(complete);
  EXPECT_EQ(getLoggerConfig(), before);
}

// The options of the main channel's handler in a complete configuration.
dynamic& mainOptions(dynamic& complete) {
  return *complete.get_ptr("handlers")->get_ptr("kestroLog")->get_ptr("options");
}

TEST_F(KestroLoggingTest, RetentionOptionsRoundTripThroughTheMasterConfiguration) {
  init();
  dynamic complete = getCompleteMasterLogConfig();
  EXPECT_EQ(mainOptions(complete).get_ptr("maxLogFiles"), nullptr) << "not reported when unset";
  mainOptions(complete).insert("maxLogFiles", "5").insert("maxTotalLogSize", "1000000");
  setCompleteMasterLogConfig(complete);
  dynamic reported = getCompleteMasterLogConfig();
  EXPECT_EQ(*mainOptions(reported).get_ptr("maxLogFiles"), "5");
  EXPECT_EQ(*mainOptions(reported).get_ptr("maxTotalLogSize"), "1000000");
  // A user-id change keeps them.
  updateLoggingWithUserId("78");
  reported = getCompleteMasterLogConfig();
  EXPECT_EQ(*mainOptions(reported).get_ptr("maxLogFiles"), "5");

  mainOptions(complete).insert("maxLogFiles", "-1");
  EXPECT_THAT(test::errorText<std::invalid_argument>([&] { setCompleteMasterLogConfig(complete); }),
              HasSubstr("error processing option \"maxLogFiles\": cannot convert \"-1\""));
}

TEST_F(KestroLoggingTest, ReplacingDropsCategoriesNotNamed) {
  init();
  setCompleteMasterLogConfig(dynamic::object().insert(
      "categories",
      dynamic::object().insert("", dynamic::object()
                                       .insert("level", "WARN")
                                       .insert("handlers", dynamic::array("kestroLog")))));
  module_.log("qsyn", LogLevel::ERR, "no sync handler any more");
  module_.log("app", LogLevel::INFO, "below WARN");
  flushLogs();
  EXPECT_THAT(channel("kestro"), HasSubstr("no sync handler any more"));
  EXPECT_THAT(channel("kestro"), Not(HasSubstr("below WARN")));
  EXPECT_THAT(dir_.fileNamesStartingWith("qsyn-"), SizeIs(0));
  EXPECT_EQ(getLoggerConfig().handlerConfigs().count("qsynLog"), 0u);
}

TEST_F(KestroLoggingTest, AfterDeinitNothingIsDelivered) {
  init();
  module_.log("app", LogLevel::INFO, "kept");
  deinitLogging();
  module_.log("app", LogLevel::ERR, "lost");
  flushLogs();
  EXPECT_THAT(channel("kestro"), HasSubstr("kept"));
  EXPECT_THAT(channel("kestro"), Not(HasSubstr("lost")));
  EXPECT_TRUE(getLoggerConfig().handlerConfigs().empty());
  // Initialising again brings the channels back.
  init();
  module_.log("app", LogLevel::INFO, "again");
  flushLogs();
  EXPECT_THAT(channel("kestro"), HasSubstr("again"));
}

TEST_F(KestroLoggingTest, AMissingDirectoryLosesLinesQuietly) {
  initLogging(dir_.path() + "/missing", "main", "1", true);
  module_.log("app", LogLevel::ERR, "nowhere to go");
  flushLogs();
  EXPECT_THAT(dir_.fileNames(), SizeIs(0));
  EXPECT_EQ(getLoggerConfig().handlerConfigs().size(), 4u);
}

TEST_F(KestroLoggingTest, GlogMessagesAreBridgedOncePerProcess) {
  init();
  init();
  LOG(WARNING) << "through glog";
  flushLogs();
  const std::string main = channel("kestro");
  size_t first = main.find("through glog");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(main.find("through glog", first + 1), std::string::npos);
  EXPECT_THAT(main, HasSubstr(" KestroLoggingTest.cpp:"));
}

}  // namespace
}  // namespace quorvane::kestro::logging
