// The client in a program image of its own (this test program, which links the
// client and liblogcore.so): the set-up that ran when it loaded, levels that
// follow logcore's, and each message reaching logcore's files once.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "Logging/Shared/Client/src/ForwardingLogHandlerFactory.h"
#include "Logging/Shared/Client/tests/ClientTestSupport.h"
#include "common/logging/LogHandler.h"
#include "common/utilities/testing/ScopedFdRedirect.h"
#include "kestro/logcore.h"

namespace quorvane::kestro::logging {
namespace {

using test::channelText;
using test::logHere;
using test::occurrences;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

LogLevel levelHere(std::string_view category) {
  return LoggerDB::get().categoryFor(category)->effectiveLevel();
}

class ForwardingTest : public ::testing::Test {
 protected:
  void init(bool trace) { initLogging(dir_.path(), "main", "3", trace); }

  test::TemporaryDirectory dir_;
};

TEST_F(ForwardingTest, TheSetUpRanWhenTheProgramLoaded) {
  // Nothing in this program calls into the set-up; it ran as a static
  // initialiser all the same.
  const LogConfig config = LoggerDB::get().currentConfig();
  ASSERT_EQ(config.handlerConfigs().size(), 1u);
  EXPECT_EQ(config.handlerConfigs().count("kestroForward"), 1u);
  const LogCategoryConfig& root = config.categoryConfigs().at("");
  EXPECT_EQ(root.level, LogLevel::INFO);
  EXPECT_THAT(*root.handlers, ElementsAre("kestroForward"));
  EXPECT_NE(LoggerDB::get().findCategory("trace"), nullptr);
}

TEST_F(ForwardingTest, BeforeInitLoggingInfoReachesStandardErrorThroughTheCore) {
  test::ScopedFdRedirect standardError(2);
  logHere("app.window", LogLevel::INFO, "info before initLogging");
  logHere("app.window", LogLevel::DBG, "debug before initLogging");
  const std::string written = standardError.contents();
  // This program's own database has no stream handler any more (see above):
  // the line came through logcore's default handler, once.
  EXPECT_EQ(occurrences(written, "info before initLogging"), 1u) << written;
  EXPECT_THAT(written, Not(HasSubstr("debug before initLogging")));
}

TEST_F(ForwardingTest, LevelsFollowTheCoreWithAndWithoutTracing) {
  struct Expected {
    const char* category;
    LogLevel withTrace;
    LogLevel withoutTrace;
  };
  const std::vector<Expected> table = {
      {"", LogLevel::INFO, LogLevel::INFO},
      {"app.window", LogLevel::INFO, LogLevel::INFO},
      {"trace", LogLevel::DBG, LogLevel::INFO},
      {"qsyn", LogLevel::DBG, LogLevel::DBG},
      {"qsyn.Database", LogLevel::DBG, LogLevel::DBG},
      {"qsyn.Network.mqtt_client", LogLevel::INFO, LogLevel::INFO},
      {"rtc.Call", LogLevel::DBG, LogLevel::DBG},
  };
  init(/*trace=*/true);
  for (const Expected& row : table) {
    EXPECT_EQ(levelHere(row.category), row.withTrace) << row.category;
  }
  init(/*trace=*/false);
  for (const Expected& row : table) {
    EXPECT_EQ(levelHere(row.category), row.withoutTrace) << row.category;
  }
}

TEST_F(ForwardingTest, EachMessageReachesEveryFileItBelongsToOnce) {
  struct Case {
    const char* category;
    LogLevel level;
    const char* text;
    std::set<std::string> channels;
  };
  const std::vector<Case> cases = {
      {"qsyn.Database", LogLevel::WARN, "sync-warn", {"qsyn", "kestro"}},
      {"qsyn.Database", LogLevel::DBG, "sync-debug", {"qsyn"}},
      {"rtc.Call", LogLevel::ERR, "rtc-error", {"rtc", "kestro"}},
      {"trace", LogLevel::WARN, "trace-warn", {"trace", "kestro"}},
      {"trace", LogLevel::DBG, "trace-debug", {"trace"}},
      {"app.window", LogLevel::INFO, "app-info", {"kestro"}},
  };
  init(/*trace=*/true);
  for (const Case& c : cases) {
    logHere(c.category, c.level, c.text);
  }
  flushLogs();
  std::map<std::string, std::string> files;
  for (const char* word : {"kestro", "qsyn", "rtc", "trace"}) {
    files[word] = channelText(dir_, word);
  }
  for (const Case& c : cases) {
    for (const auto& [word, text] : files) {
      EXPECT_EQ(occurrences(text, c.text), c.channels.count(word)) << c.text << " in " << word;
    }
  }
}

TEST_F(ForwardingTest, ACategoryDroppedByTheCoreKeepsItsCopiedSettings) {
  init(/*trace=*/false);
  ASSERT_EQ(LoggerDB::get().categoryFor("qsyn")->levelInfo(), std::make_pair(LogLevel::DBG, false));

  dynamic config = getCompleteMasterLogConfig();
  dynamic* categories = config.get_ptr("categories");
  ASSERT_TRUE(categories->erase("qsyn"));
  categories->get_ptr("")->insert("level", "WARN");
  setCompleteMasterLogConfig(config);

  // The copy ran again (the root followed), but merged: "qsyn" is as before.
  EXPECT_EQ(levelHere(""), LogLevel::WARN);
  EXPECT_EQ(LoggerDB::get().categoryFor("qsyn")->levelInfo(), std::make_pair(LogLevel::DBG, false));
}

TEST(ForwardingLogHandlerFactoryTest, AcceptsAnyOptionsAndHasNoConfiguration) {
  ForwardingLogHandlerFactory factory;
  EXPECT_EQ(factory.getType(), "kestroForward");
  auto handler = factory.createHandler({{"no such option", "x"}, {"level", "not a level"}});
  ASSERT_NE(handler, nullptr);
  EXPECT_EQ(handler->getConfig(), LogHandlerConfig());
  handler->flush();
  EXPECT_NE(factory.updateHandler(handler, {}), handler);
}

}  // namespace
}  // namespace quorvane::kestro::logging
