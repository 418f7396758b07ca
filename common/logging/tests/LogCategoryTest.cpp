#include "common/logging/LogCategory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/testing/CapturingLogHandler.h"
#include "common/logging/testing/InternalWarningCapture.h"

namespace quorvane {
namespace {

using test::CapturingLogHandler;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class LogCategoryTest : public ::testing::Test {
 protected:
  void log(std::string_view category, LogLevel level, std::string text) {
    LogCategory* c = db_.categoryFor(category);
    LogMessage message(c, level, "test.cpp", 1, "", std::move(text));
    c->submitMessage(message);
  }
  std::shared_ptr<CapturingLogHandler> attach(std::string_view category) {
    auto handler = std::make_shared<CapturingLogHandler>();
    LogCategory* c = db_.categoryFor(category);
    auto handlers = c->handlersSnapshot();
    handlers.push_back(handler);
    c->setHandlers(handlers);
    return handler;
  }
  LoggerDB db_;
};

TEST_F(LogCategoryTest, SpellingsFindOneCategory) {
  LogCategory* ab = db_.categoryFor("a/b");
  EXPECT_EQ(db_.categoryFor("a.b."), ab);
  EXPECT_EQ(ab->name(), "a.b");
  EXPECT_EQ(db_.categoryFor(""), db_.categoryFor("..."));
  EXPECT_EQ(db_.categoryFor("")->name(), "");
  EXPECT_NE(db_.categoryFor("A.b"), ab);
}

TEST_F(LogCategoryTest, NewCategoriesCreateAncestorsAndTakeTheirLevel) {
  db_.setLevel("x", LogLevel::WARN, false);
  LogCategory* xyz = db_.categoryFor("x.y.z");
  ASSERT_NE(db_.findCategory("x.y"), nullptr);
  EXPECT_EQ(xyz->parent(), db_.findCategory("x.y"));
  EXPECT_EQ(xyz->parent()->parent(), db_.findCategory("x"));
  EXPECT_EQ(xyz->effectiveLevel(), LogLevel::WARN);
  EXPECT_EQ(xyz->levelInfo(), std::make_pair(LogLevel::MAX_LEVEL, true));
  EXPECT_EQ(xyz->propagationLevel(), LogLevel::NONE);
  EXPECT_EQ(db_.findCategory("nope"), nullptr);
}

TEST_F(LogCategoryTest, InheritanceMakesACategoryAtMostAsStrictAsItsParent) {
  LogCategory* root = db_.categoryFor("");
  LogCategory* a = db_.categoryFor("a");
  LogCategory* ab = db_.categoryFor("a.b");
  EXPECT_EQ(root->effectiveLevel(), LogLevel::INFO);

  db_.setLevel("a", LogLevel::WARN, true);
  EXPECT_EQ(a->effectiveLevel(), LogLevel::INFO);

  db_.setLevel("a", LogLevel::WARN, false);
  EXPECT_EQ(a->effectiveLevel(), LogLevel::WARN);
  EXPECT_EQ(ab->effectiveLevel(), LogLevel::WARN);

  // A non-inheriting category shields its subtree from the root.
  db_.setLevel("", LogLevel::DBG, false);
  EXPECT_EQ(a->effectiveLevel(), LogLevel::WARN);
  EXPECT_EQ(ab->effectiveLevel(), LogLevel::WARN);

  // A parent opened to DBG opens inheriting children set to ERR.
  db_.setLevel("a.b", LogLevel::ERR, true);
  db_.setLevel("a", LogLevel::DBG, false);
  EXPECT_EQ(ab->effectiveLevel(), LogLevel::DBG);
  EXPECT_TRUE(ab->isEnabled(LogLevel::DBG));
}

TEST_F(LogCategoryTest, LevelsAreClampedAndTheRootNeverInherits) {
  db_.setLevel("c", static_cast<LogLevel>(0), false);
  EXPECT_EQ(db_.categoryFor("c")->levelInfo(), std::make_pair(LogLevel::NONE, false));
  db_.setLevel("c", static_cast<LogLevel>(0xffffffffu), false);
  EXPECT_EQ(db_.categoryFor("c")->levelInfo(), std::make_pair(LogLevel::MAX_LEVEL, false));
  db_.setLevel("", LogLevel::WARN, true);
  EXPECT_EQ(db_.categoryFor("")->levelInfo(), std::make_pair(LogLevel::WARN, false));
}

TEST_F(LogCategoryTest, PropagationThresholdsStopMessagesOnTheWayUp) {
  auto abHandler = attach("a.b");
  auto rootHandler = attach("");
  log("a.b", LogLevel::WARN, "w1");
  EXPECT_THAT(abHandler->texts(), ElementsAre("w1"));
  ASSERT_THAT(rootHandler->messages(), ::testing::SizeIs(1));
  EXPECT_EQ(rootHandler->messages()[0].handlerCategory, "");
  EXPECT_EQ(rootHandler->messages()[0].category, "a.b");

  db_.categoryFor("a.b")->setPropagationLevel(LogLevel::ERR);
  log("a.b", LogLevel::WARN, "w2");
  EXPECT_THAT(abHandler->texts(), ElementsAre("w1", "w2"));
  EXPECT_THAT(rootHandler->texts(), ElementsAre("w1"));

  db_.categoryFor("a.b")->setPropagationLevel(LogLevel::NONE);
  db_.categoryFor("a")->setPropagationLevel(LogLevel::ERR);
  log("a.b", LogLevel::WARN, "w3");
  EXPECT_THAT(rootHandler->texts(), ElementsAre("w1"));
  log("a.b", LogLevel::ERR, "e1");
  EXPECT_THAT(rootHandler->texts(), ElementsAre("w1", "e1"));
  EXPECT_THAT(abHandler->texts(), ElementsAre("w1", "w2", "w3", "e1"));
}

TEST_F(LogCategoryTest, AncestorLevelsAreNotConsultedOnTheWayUp) {
  auto rootHandler = attach("");
  db_.setLevel("", LogLevel::ERR, false);
  db_.setLevel("q", LogLevel::DBG, false);
  log("q", LogLevel::DBG, "debug");
  EXPECT_THAT(rootHandler->texts(), ElementsAre("debug"));
}

TEST_F(LogCategoryTest, SixHandlersAllReceiveTheMessageInOrder) {
  std::vector<std::shared_ptr<CapturingLogHandler>> handlers;
  for (int i = 0; i < 6; ++i) {
    handlers.push_back(attach("many"));
  }
  log("many", LogLevel::INFO, "hello");
  for (const auto& handler : handlers) {
    EXPECT_THAT(handler->texts(), ElementsAre("hello"));
  }
}

TEST_F(LogCategoryTest, AThrowingHandlerDoesNotStopDelivery) {
  test::InternalWarningCapture warnings;
  LogCategory* c = db_.categoryFor("t");
  auto thrower = std::make_shared<test::ThrowingLogHandler>();
  auto after = std::make_shared<CapturingLogHandler>();
  c->setHandlers({thrower, after});
  auto rootHandler = attach("");
  log("t", LogLevel::INFO, "survives");
  EXPECT_EQ(thrower->calls(), 1);
  EXPECT_THAT(after->texts(), ElementsAre("survives"));
  EXPECT_THAT(rootHandler->texts(), ElementsAre("survives"));
  ASSERT_EQ(warnings.count(), 1u);
  EXPECT_THAT(warnings.warnings()[0].text,
              ::testing::StartsWith("log handler for category \"t\" threw an error: "));
  EXPECT_THAT(warnings.warnings()[0].text, HasSubstr("runtime_error: handler failure"));
}

TEST_F(LogCategoryTest, HandlerListOperations) {
  LogCategory* c = db_.categoryFor("h");
  auto h1 = std::make_shared<CapturingLogHandler>();
  auto h2 = std::make_shared<CapturingLogHandler>();
  auto h3 = std::make_shared<CapturingLogHandler>();
  c->setHandlers({h1, h2, h1});
  c->substituteHandlers({{h1, h3}});
  auto list = c->handlersSnapshot();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0], h3);
  EXPECT_EQ(list[1], h2);
  EXPECT_EQ(list[2], h3);
  c->removeAllHandlers();
  EXPECT_TRUE(c->handlersSnapshot().empty());
}

TEST_F(LogCategoryTest, DeliveryFollowsEveryChangeOfAHandlerList) {
  // A category without handlers is passed over without its lock; the count
  // it is passed over by must follow every kind of change.
  LogCategory* c = db_.categoryFor("d");
  c->setPropagationLevel(LogLevel::MAX_LEVEL);
  auto h1 = std::make_shared<CapturingLogHandler>();
  auto h2 = std::make_shared<CapturingLogHandler>();
  log("d", LogLevel::INFO, "none");
  c->setHandlers({h1});
  log("d", LogLevel::INFO, "one");
  c->substituteHandlers({{h1, h2}});
  log("d", LogLevel::INFO, "substituted");
  c->removeAllHandlers();
  log("d", LogLevel::INFO, "removed");
  c->setHandlers({h1, h2});
  log("d", LogLevel::INFO, "both");
  EXPECT_THAT(h1->texts(), ElementsAre("one", "both"));
  EXPECT_THAT(h2->texts(), ElementsAre("substituted", "both"));
}

// Waits in handleMessage until released; notes the thread that destroys it.
class BlockingHandler : public CapturingLogHandler {
 public:
  explicit BlockingHandler(std::thread::id& destroyedOn) : destroyedOn_(destroyedOn) {}
  ~BlockingHandler() override { destroyedOn_ = std::this_thread::get_id(); }
  void handleMessage(const LogMessage& message, const LogCategory* handlerCategory) override {
    entered.set_value();
    release.get_future().wait();
    CapturingLogHandler::handleMessage(message, handlerCategory);
  }
  std::promise<void> entered;
  std::promise<void> release;

 private:
  std::thread::id& destroyedOn_;
};

TEST_F(LogCategoryTest, AHandlerReplacedWhileItRunsLivesUntilThatDispatchEnds) {
  std::thread::id destroyedOn;
  auto blocking = std::make_shared<BlockingHandler>(destroyedOn);
  std::future<void> entered = blocking->entered.get_future();
  std::promise<void>& release = blocking->release;
  const std::weak_ptr<LogHandler> running = blocking;
  db_.categoryFor("r")->setHandlers({std::move(blocking)});

  std::thread logger([&] { log("r", LogLevel::INFO, "slow"); });
  const std::thread::id loggerId = logger.get_id();
  entered.wait();
  db_.categoryFor("r")->removeAllHandlers();
  EXPECT_FALSE(running.expired()) << "it is still handling a message";
  release.set_value();
  logger.join();
  EXPECT_TRUE(running.expired());
  EXPECT_EQ(destroyedOn, loggerId) << "the dispatch that used it last released it";

  // A handler that no dispatch is using goes with the change itself.
  auto idle = std::make_shared<CapturingLogHandler>();
  const std::weak_ptr<LogHandler> unused = idle;
  db_.categoryFor("r")->setHandlers({std::move(idle)});
  log("r", LogLevel::INFO, "quick");
  db_.categoryFor("r")->removeAllHandlers();
  EXPECT_TRUE(unused.expired());
}

// Logs to its category again from inside handleMessage, `nesting` levels deep.
class RecursingHandler : public CapturingLogHandler {
 public:
  explicit RecursingHandler(int nesting) : nesting_(nesting) {}
  void handleMessage(const LogMessage& message, const LogCategory* handlerCategory) override {
    CapturingLogHandler::handleMessage(message, handlerCategory);
    if (depth_ < nesting_) {
      ++depth_;
      LogMessage inner(handlerCategory, LogLevel::INFO, "test.cpp", 1, "", std::to_string(depth_));
      handlerCategory->submitMessage(inner);
    }
  }

 private:
  const int nesting_;
  int depth_ = 0;
};

TEST_F(LogCategoryTest, DispatchesNestedDeeperThanAThreadsGuardsReachEveryHandler) {
  auto recursing = std::make_shared<RecursingHandler>(9);
  const std::weak_ptr<LogHandler> handler = recursing;
  db_.categoryFor("n")->setHandlers({std::move(recursing)});
  log("n", LogLevel::INFO, "0");
  EXPECT_THAT(std::static_pointer_cast<CapturingLogHandler>(handler.lock())->texts(),
              ElementsAre("0", "1", "2", "3", "4", "5", "6", "7", "8", "9"));
  db_.categoryFor("n")->removeAllHandlers();
  EXPECT_TRUE(handler.expired()) << "no nesting level kept it";
}

using LogCategoryDeathTest = LogCategoryTest;

TEST_F(LogCategoryDeathTest, FatalWithoutHandlersWritesOneLineAndAborts) {
  EXPECT_DEATH(log("f", LogLevel::FATAL, "it broke"), "FATAL:test.cpp:1: it broke\n");
}

TEST_F(LogCategoryDeathTest, FatalWithHandlersFlushesThemAndWritesNothing) {
  // The child writes the flush count to stderr from the handler, so the death
  // test can see that the flush happened and that no "FATAL:" line followed.
  class FlushReporter : public CapturingLogHandler {
   public:
    void flush() override { fprintf(stderr, "flushed\n"); }
  };
  db_.categoryFor("")->setHandlers({std::make_shared<FlushReporter>()});
  EXPECT_DEATH(log("f", LogLevel::FATAL, "it broke"), "^flushed\n$");
}

TEST_F(LogCategoryTest, DfatalIsNotFatal) {
  auto handler = attach("d");
  log("d", LogLevel::DFATAL, "still here");
  EXPECT_THAT(handler->texts(), ElementsAre("still here"));
}

}  // namespace
}  // namespace quorvane
