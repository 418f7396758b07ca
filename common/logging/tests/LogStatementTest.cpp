// Per-file log statements against the process database. This executable has
// its own process (and database) per test case.

#include "common/logging/Log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iomanip>

#include "common/logging/Logger.h"
#include "common/logging/testing/CapturingLogHandler.h"
#include "common/logging/testing/ScopedLogLevel.h"

namespace quorvane {
namespace {

using test::CapturingLogHandler;
using ::testing::ElementsAre;

constexpr std::string_view kThisFileCategory = "common.logging.tests.LogStatementTest.cpp";

class LogStatementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handler_ = std::make_shared<CapturingLogHandler>();
    LoggerDB::get().categoryFor("")->setHandlers({handler_});
  }
  void TearDown() override { LoggerDB::get().categoryFor("")->removeAllHandlers(); }

  std::shared_ptr<CapturingLogHandler> handler_;
};

TEST_F(LogStatementTest, LogsToTheCategoryNamedAfterTheSourcePath) {
  const unsigned int line = __LINE__ + 1;
  KLOG(INFO) << "hello " << 42;
  auto messages = handler_->messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "hello 42");
  EXPECT_EQ(messages[0].category, kThisFileCategory);
  EXPECT_EQ(messages[0].level, LogLevel::INFO);
  EXPECT_EQ(messages[0].fileName, "common/logging/tests/LogStatementTest.cpp");
  EXPECT_EQ(messages[0].fileBaseName, "LogStatementTest.cpp");
  EXPECT_EQ(messages[0].lineNumber, line);
  EXPECT_EQ(messages[0].functionName, "TestBody");
}

TEST_F(LogStatementTest, FormattedArgumentsComeBeforeStreamedText) {
  KLOGF(WARN, "{} + {} = {}", 1, 2, 3) << " (" << std::hex << 255 << ")";
  KLOGF(ERR, "no arguments");
  KLOG(INFO);
  EXPECT_THAT(handler_->texts(), ElementsAre("1 + 2 = 3 (ff)", "no arguments", ""));
}

TEST_F(LogStatementTest, TextIsSanitisedUnlessEveryPieceIsKnownToBePlain) {
  KLOGF(INFO, "{} and {}", -1, true);
  KLOGF(INFO, "string {}", "tab\there \\ \x01");
  KLOGF(INFO, "{}", 2) << " then \x02";
  KLOGF(INFO, fmt::runtime("\\{}"), 3);
  KLOGF(INFO, "{:x}", 255) << "\\";
  EXPECT_THAT(handler_->texts(), ElementsAre("-1 and true", "string tab\there \\\\ \\x01",
                                             "2 then \\x02", "\\\\3", "ff\\\\"));
}

// Logs a statement of its own while it handles the message "outer 1 ...".
class ReentrantHandler : public CapturingLogHandler {
 public:
  void handleMessage(const LogMessage& message, const LogCategory* handlerCategory) override {
    CapturingLogHandler::handleMessage(message, handlerCategory);
    if (message.rawText().starts_with("outer 1")) {
      KLOGF(INFO, "inner {}", 2) << " streamed";
    }
  }
};

TEST_F(LogStatementTest, AStatementInsideAHandlerHasItsOwnTextAndLeavesTheOuterOneAlone) {
  auto reentrant = std::make_shared<ReentrantHandler>();
  LoggerDB::get().categoryFor("")->setHandlers({reentrant});
  KLOGF(INFO, "outer {}", 1) << " with " << std::string(200, 'o');
  KLOGF(INFO, "after {}", 3);
  KLOG(INFO) << "streamed only";
  EXPECT_THAT(reentrant->texts(), ElementsAre("outer 1 with " + std::string(200, 'o'),
                                              "inner 2 streamed", "after 3", "streamed only"));
}

TEST_F(LogStatementTest, DisabledStatementsEvaluateNothing) {
  int evaluated = 0;
  auto touch = [&] { return ++evaluated; };
  KLOG(DBG) << touch();
  KLOGF(DBG5, "{}", touch());
  EXPECT_FALSE(KLOG_IS_ON(DBG));
  EXPECT_TRUE(KLOG_IS_ON(INFO));
  EXPECT_EQ(evaluated, 0);
  EXPECT_EQ(handler_->messageCount(), 0u);
}

TEST_F(LogStatementTest, TheCachedLevelFollowsLevelChanges) {
  KLOG(INFO) << "initialises the cache";
  {
    // A change on an ancestor reaches the file's cache through inheritance.
    test::ScopedLogLevel level(LoggerDB::get(), "common.logging", LogLevel::DBG, false);
    KLOG(DBG) << "now enabled";
    {
      test::ScopedLogLevel own(LoggerDB::get(), kThisFileCategory, LogLevel::ERR, false);
      KLOG(WARN) << "disabled by the file's own level";
      KLOG(ERR) << "error passes";
    }
    KLOG(DBG) << "enabled again";
  }
  KLOG(DBG) << "disabled again";
  EXPECT_THAT(handler_->texts(),
              ElementsAre("initialises the cache", "now enabled", "error passes", "enabled again"));
}

TEST_F(LogStatementTest, DanglingElseBindsToTheCallersIf) {
  bool flag = false;
  if (flag)
    KLOG(INFO) << "not this";
  else
    KLOG(INFO) << "this";
  EXPECT_THAT(handler_->texts(), ElementsAre("this"));
}

TEST_F(LogStatementTest, LoggerWritesToItsNamedCategory) {
  static const Logger kLogger("net/client");
  KLOGF_TO(kLogger, INFO, "sent {} bytes", 10);
  KLOG_TO(kLogger, DBG) << "hidden";
  auto messages = handler_->messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].category, "net.client");
  EXPECT_EQ(messages[0].text, "sent 10 bytes");
}

TEST_F(LogStatementTest, ABadRuntimeFormatIsLoggedAsAnError) {
  KLOGF(INFO, fmt::runtime("{} {}"), 1);
  ASSERT_EQ(handler_->messageCount(), 1u);
  EXPECT_THAT(handler_->texts()[0], ::testing::StartsWith("error formatting log message: "));
}

using LogStatementDeathTest = LogStatementTest;

TEST_F(LogStatementDeathTest, FatalEndsTheProcessAfterFlushing) {
  LoggerDB::get().categoryFor("")->removeAllHandlers();
  EXPECT_DEATH(KLOG(FATAL) << "stop",
               "FATAL:common/logging/tests/LogStatementTest.cpp:[0-9]+: stop");
}

}  // namespace
}  // namespace quorvane
