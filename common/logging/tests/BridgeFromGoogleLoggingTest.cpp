// The glog bridge against the process database. This executable has its own
// process (and database) per test case.

#include "common/logging/BridgeFromGoogleLogging.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/logging/CustomLogFormatter.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/testing/CapturingLogHandler.h"
#include "common/logging/testing/ScopedLogLevel.h"
#include "common/utilities/FileUtil.h"
#include "common/utilities/ThreadId.h"

namespace quorvane {
namespace {

using test::CapturingLogHandler;
using ::testing::ElementsAre;

constexpr std::string_view kThisFileCategory =
    "common.logging.tests.BridgeFromGoogleLoggingTest.cpp";

// Records the timestamps and formatted lines of the messages it handles.
class RecordingHandler : public LogHandler {
 public:
  explicit RecordingHandler(std::string_view format = "") : formatter_(format, false) {}
  void handleMessage(const LogMessage& message, const LogCategory* category) override {
    std::lock_guard<std::mutex> lock(mutex_);
    timestamps_.push_back(message.timestamp());
    lines_.push_back(formatter_.formatMessage(message, category));
  }
  void flush() override {}
  LogHandlerConfig getConfig() const override { return LogHandlerConfig{"recording"}; }
  std::vector<LogMessage::TimePoint> timestamps() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return timestamps_;
  }
  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  CustomLogFormatter formatter_;
  mutable std::mutex mutex_;
  std::vector<LogMessage::TimePoint> timestamps_;
  std::vector<std::string> lines_;
};

class BridgeFromGoogleLoggingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_shared<CapturingLogHandler>();
    LoggerDB::get().categoryFor("")->setHandlers({root_});
  }
  void TearDown() override { LoggerDB::get().releaseHandlers(); }

  // Calls the bridge the way glog does, with a broken-down time of now.
  void send(int severity, const char* fullName, const char* baseName, std::string_view text) {
    const std::time_t now = std::time(nullptr);
    std::tm time{};
    localtime_r(&now, &time);
    bridge_.send(severity, fullName, baseName, 7, &time, text.data(), text.size());
  }

  std::shared_ptr<CapturingLogHandler> root_;
  BridgeFromGoogleLogging bridge_;
};

TEST_F(BridgeFromGoogleLoggingTest, GlogMessagesReachTheFileCategoryAndItsAncestors) {
  auto ancestor = std::make_shared<CapturingLogHandler>();
  LoggerDB::get().categoryFor("common/logging")->setHandlers({ancestor});

  const unsigned int line = __LINE__ + 1;
  LOG(WARNING) << "through glog " << 42;

  for (const auto& handler : {ancestor, root_}) {
    auto messages = handler->messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "through glog 42");
    EXPECT_EQ(messages[0].level, LogLevel::WARN);
    EXPECT_EQ(messages[0].category, kThisFileCategory);
    EXPECT_EQ(messages[0].fileName, "BridgeFromGoogleLoggingTest.cpp");
    EXPECT_EQ(messages[0].lineNumber, line);
    EXPECT_EQ(messages[0].functionName, "");
    EXPECT_EQ(messages[0].threadId, getOSThreadID());
  }
  EXPECT_EQ(ancestor->messages()[0].handlerCategory, "common.logging");
}

TEST_F(BridgeFromGoogleLoggingTest, MapsSeveritiesToLevels) {
  test::ScopedLogLevel open(LoggerDB::get(), "", LogLevel::DBG);
  for (int severity : {0, 1, 2, 4, -1, 1000}) {
    send(severity, "a/b/c", "c", "s");
  }
  std::vector<LogLevel> levels;
  for (const auto& message : root_->messages()) {
    levels.push_back(message.level);
    EXPECT_EQ(message.category, "a.b.c");
    EXPECT_EQ(message.fileName, "c");
    EXPECT_EQ(message.lineNumber, 7u);
  }
  EXPECT_THAT(levels, ElementsAre(LogLevel::INFO, LogLevel::WARN, LogLevel::ERR, LogLevel::INFO2,
                                  LogLevel::INFO2, LogLevel::INFO2));
  EXPECT_EQ(toUnderlying(LogLevel::INFO2), 2997u);
}

TEST_F(BridgeFromGoogleLoggingTest, UnknownSeveritiesPassAtInfoButNotAtWarn) {
  {
    test::ScopedLogLevel info(LoggerDB::get(), "odd", LogLevel::INFO);
    send(-3, "odd/file.cpp", "file.cpp", "passes");
  }
  {
    test::ScopedLogLevel warn(LoggerDB::get(), "odd", LogLevel::WARN);
    send(-3, "odd/file.cpp", "file.cpp", "dropped");
    send(7, "odd/file.cpp", "file.cpp", "dropped too");
  }
  EXPECT_THAT(root_->texts(), ElementsAre("passes"));
}

TEST_F(BridgeFromGoogleLoggingTest, DisabledMessagesAreDroppedBeforeAMessageIsBuilt) {
  // Building a message asks the database for its context text.
  static std::atomic<int> messagesBuilt{0};
  LoggerDB::get().addContextProvider([] {
    messagesBuilt.fetch_add(1);
    return std::string();
  });
  test::ScopedLogLevel err(LoggerDB::get(), "quiet", LogLevel::ERR);
  send(google::GLOG_INFO, "quiet/x.cpp", "x.cpp", "dropped");
  send(google::GLOG_WARNING, "quiet/x.cpp", "x.cpp", "dropped");
  EXPECT_EQ(messagesBuilt.load(), 0);
  EXPECT_EQ(root_->messageCount(), 0u);

  send(google::GLOG_ERROR, "quiet/x.cpp", "x.cpp", "kept");
  EXPECT_EQ(messagesBuilt.load(), 1);
  EXPECT_THAT(root_->texts(), ElementsAre("kept"));
}

TEST_F(BridgeFromGoogleLoggingTest, CopiesExactlyTheGivenLength) {
  const char text[] = "hello world";
  std::tm time{};
  bridge_.send(google::GLOG_INFO, "f.cpp", "f.cpp", 1, &time, text, 5);
  bridge_.send(google::GLOG_INFO, "f.cpp", "f.cpp", 1, &time, text, 0);
  EXPECT_THAT(root_->texts(), ElementsAre("hello", ""));
}

TEST_F(BridgeFromGoogleLoggingTest, MessagesCarryTheCurrentTimeWhateverGlogsTimeSays) {
  auto recorder = std::make_shared<RecordingHandler>();
  LoggerDB::get().categoryFor("")->setHandlers({recorder});
  const auto before = std::chrono::system_clock::now();
  const char text[] = "x";
  // glog's broken-down time of a message logged now, and one two hours old.
  for (std::time_t shift : {0, 2 * 3600}) {
    const std::time_t then = std::time(nullptr) - shift;
    std::tm time{};
    localtime_r(&then, &time);
    bridge_.send(google::GLOG_INFO, "t.cpp", "t.cpp", 1, &time, text, 1);
  }
  const auto after = std::chrono::system_clock::now();
  auto timestamps = recorder->timestamps();
  ASSERT_EQ(timestamps.size(), 2u);
  for (auto timestamp : timestamps) {
    EXPECT_GE(timestamp, before);
    EXPECT_LE(timestamp, after);
  }
}

TEST_F(BridgeFromGoogleLoggingTest, TheFunctionNamePlaceholderPrintsNothing) {
  auto recorder = std::make_shared<RecordingHandler>("[{FUN}] {FILE}");
  LoggerDB::get().categoryFor("")->setHandlers({recorder});
  LOG(INFO) << "no function";
  EXPECT_THAT(recorder->lines(), ElementsAre("[] BridgeFromGoogleLoggingTest.cpp no function\n"));
}

TEST_F(BridgeFromGoogleLoggingTest, CarriesTheLoggingThreadsId) {
  uint64_t loggingThread = 0;
  std::thread([&] {
    loggingThread = getOSThreadID();
    LOG(ERROR) << "from a thread";
  }).join();
  auto messages = root_->messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].threadId, loggingThread);
  EXPECT_NE(messages[0].threadId, getOSThreadID());
}

TEST_F(BridgeFromGoogleLoggingTest, EachRegisteredBridgeForwardsAndADestroyedOneStops) {
  {
    BridgeFromGoogleLogging second;
    LOG(INFO) << "twice";
  }
  LOG(INFO) << "once";
  EXPECT_THAT(root_->texts(), ElementsAre("twice", "twice", "once"));
}

// Writes what happens to standard error, where a death test can see it.
class AnnouncingHandler : public LogHandler {
 public:
  void handleMessage(const LogMessage& message, const LogCategory*) override {
    announce("handled level " + std::to_string(toUnderlying(message.level())) + ": " +
             message.messageText() + "\n");
  }
  void flush() override { announce("flushed\n"); }
  LogHandlerConfig getConfig() const override { return LogHandlerConfig{"announcing"}; }

 private:
  static void announce(const std::string& text) {
    writeFull(STDERR_FILENO, text.data(), text.size());
  }
};

using BridgeFromGoogleLoggingDeathTest = BridgeFromGoogleLoggingTest;

TEST_F(BridgeFromGoogleLoggingDeathTest, GlogFatalFlushesAndEndsTheProcess) {
  LoggerDB::get().categoryFor("")->setHandlers({std::make_shared<AnnouncingHandler>()});
  EXPECT_DEATH(LOG(FATAL) << "stop here", "handled level 2147483647: stop here\nflushed\n");
}

}  // namespace
}  // namespace quorvane
