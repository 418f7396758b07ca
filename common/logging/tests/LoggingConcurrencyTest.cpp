// Many threads log to many categories while another thread changes levels and
// handler lists. Run under ThreadSanitizer to check the lock-free level paths
// and the handler-list copy.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/logging/Log.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogHandler.h"
#include "common/logging/LogHandlerConfig.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/testing/CapturingLogHandler.h"
#include "common/logging/testing/TestLogHandlerFactory.h"
#include "common/utilities/testing/ChildProcess.h"

// The fork test's children run after a fork of a threaded process.
extern "C" __attribute__((visibility("default"), used)) const char* __tsan_default_options() {
  return "die_after_fork=0:report_thread_leaks=0";
}

namespace quorvane {
namespace {

TEST(LoggingConcurrencyTest, LoggingWhileLevelsAndHandlersChange) {
  LoggerDB& db = LoggerDB::get();
  constexpr int kLoggers = 4;
  constexpr int kCategories = 16;
  auto stable = std::make_shared<test::CapturingLogHandler>();
  db.categoryFor("")->setHandlers({stable});
  std::atomic<bool> stop{false};
  std::atomic<int> logged{0};

  std::vector<std::thread> threads;
  for (int t = 0; t < kLoggers; ++t) {
    threads.emplace_back([&, t] {
      int i = 0;
      while (!stop.load(std::memory_order_relaxed)) {
        std::string name =
            "c" + std::to_string((i + t) % kCategories) + ".leaf" + std::to_string(t);
        LogCategory* category = db.categoryFor(name);
        if (category->isEnabled(LogLevel::INFO)) {
          LogMessage message(category, LogLevel::INFO, "f.cpp", 1, "", "m");
          category->submitMessage(message);
          logged.fetch_add(1, std::memory_order_relaxed);
        }
        KLOG(INFO) << "per-file " << i;
        ++i;
      }
    });
  }

  std::thread changer([&] {
    for (int round = 0; round < 300; ++round) {
      std::string name = "c" + std::to_string(round % kCategories);
      db.setLevel(name, round % 2 ? LogLevel::WARN : LogLevel::DBG, round % 3 == 0);
      db.setLevel("common.logging", round % 2 ? LogLevel::ERR : LogLevel::INFO, false);
      auto extra = std::make_shared<test::CapturingLogHandler>();
      db.categoryFor(name)->setHandlers({extra, stable});
      if (round % 5 == 0) {
        db.categoryFor(name)->removeAllHandlers();
      }
      db.flushHandlers();
    }
    stop.store(true);
  });

  changer.join();
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_GT(logged.load(), 0);
  EXPECT_GT(stable->messageCount(), 0u);
  db.categoryFor("")->removeAllHandlers();
}

// Configuration changes swap handler objects under running loggers while
// another thread reports the configuration.
TEST(LoggingConcurrencyTest, LoggingAndReportingWhileConfigurationsChange) {
  LoggerDB db;
  auto record = test::TestLogHandlerFactory::install(db, "t");
  auto makeConfig = [](int round) {
    LogConfig config;
    config.handlerConfigs().emplace("h", LogHandlerConfig{"t", {{"round", std::to_string(round)}}});
    LogCategoryConfig root(LogLevel::INFO, false);
    root.handlers = std::vector<std::string>{"h"};
    config.categoryConfigs().emplace("", root);
    LogCategoryConfig leaf(round % 2 ? LogLevel::WARN : LogLevel::DBG, round % 3 == 0);
    leaf.propagate = round % 4 ? LogLevel::NONE : LogLevel::ERR;
    config.categoryConfigs().emplace("a.b" + std::to_string(round % 3), leaf);
    return config;
  };
  db.applyConfig(makeConfig(0));
  std::atomic<bool> stop{false};

  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      int i = 0;
      while (!stop.load(std::memory_order_relaxed)) {
        LogCategory* category = db.categoryFor("a.b" + std::to_string((i + t) % 4));
        if (category->isEnabled(LogLevel::WARN)) {
          LogMessage message(category, LogLevel::WARN, "f.cpp", 1, "", "m");
          category->submitMessage(message);
        }
        ++i;
      }
    });
  }
  std::atomic<int> badReports{0};
  threads.emplace_back([&] {
    while (!stop.load(std::memory_order_relaxed)) {
      LogConfig current = db.currentConfig();
      const auto& root = current.categoryConfigs().at("");
      if (root.handlers != std::vector<std::string>{"h"} ||
          current.handlerConfigs().count("h") != 1) {
        badReports.fetch_add(1);
      }
      db.completeConfig();
    }
  });

  for (int round = 1; round < 200; ++round) {
    if (round % 10 == 0) {
      db.replaceConfig(makeConfig(round));
    } else {
      db.applyConfig(makeConfig(round));
    }
  }
  stop.store(true);
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(badReports.load(), 0);
  EXPECT_EQ(record->aliveCount(), 1u);  // every replaced handler was destroyed
  EXPECT_EQ(db.currentConfig().handlerConfigs().at("h").options.at("round"), "199");
}

// Counts messages without a lock of its own, so that only the database's
// locks matter around a fork.
class CountingLogHandler : public LogHandler {
 public:
  void handleMessage(const LogMessage&, const LogCategory*) override { count.fetch_add(1); }
  void flush() override {}
  LogHandlerConfig getConfig() const override { return LogHandlerConfig("counting"); }
  std::atomic<size_t> count{0};
};

// Other threads hold the category map's lock (creating categories, flushing)
// and categories' handler-list locks (logging, swapping lists) all the time; a
// child forked at any moment must still be able to do all of that itself.
TEST(LoggingConcurrencyTest, AChildForkedWhileOtherThreadsUseTheDatabaseCanLogAndFlush) {
  KESTRO_SKIP_FORK_WITH_THREADS_UNDER_ASAN();
  KESTRO_SKIP_FORK_STORM_UNDER_TSAN();
  constexpr int kForks = 60;
  auto db = std::make_unique<LoggerDB>();
  auto handler = std::make_shared<CountingLogHandler>();
  db->categoryFor("")->setHandlers({handler});
  std::atomic<bool> stop{false};

  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    for (long i = 0; !stop.load(std::memory_order_relaxed); ++i) {
      db->categoryFor("new." + std::to_string(i));
      db->flushHandlers();
    }
  });
  threads.emplace_back([&] {
    LogCategory* category = db->categoryFor("busy");
    while (!stop.load(std::memory_order_relaxed)) {
      LogMessage message(category, LogLevel::INFO, "f.cpp", 1, "", "m");
      category->submitMessage(message);
    }
  });
  LogCategory* swapped = db->categoryFor("swapped");
  swapped->setPropagationLevel(LogLevel::MAX_LEVEL);  // its own handlers only
  threads.emplace_back([&] {
    while (!stop.load(std::memory_order_relaxed)) {
      swapped->setHandlers({handler, handler});
      swapped->removeAllHandlers();
    }
  });

  for (int i = 0; i < kForks; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const pid_t pid = ::fork();
    if (pid == 0) {
      const size_t before = handler->count.load();
      LogCategory* category = db->categoryFor("child." + std::to_string(i));
      LogMessage message(category, LogLevel::INFO, "f.cpp", 1, "", "from the child");
      category->submitMessage(message);
      // The list was either just set or just emptied: whole either way.
      const size_t onSwapped = swapped->handlersSnapshot().size();
      swapped->setHandlers({handler});
      swapped->submitMessage(message);
      const size_t flushed = db->flushHandlers();
      const size_t delivered = handler->count.load() - before;
      // A distinct code for each check, so that a failure says which one.
      ::_exit(onSwapped != 0 && onSwapped != 2 ? 2 : flushed != 1 ? 3 : delivered != 2 ? 4 : 0);
    }
    if (pid < 0) {
      ADD_FAILURE() << "fork failed";
      break;
    }
    const int code = test::exitCodeWithin(pid, std::chrono::seconds(10));
    if (code != 0) {
      // 2: a handler list was half swapped; 3: flushHandlers did not flush
      // the one handler once; 4: the child's messages were not delivered
      // exactly once each; above 128: a signal.
      ADD_FAILURE() << "child " << i
                    << (code < 0 ? " hung" : " failed with code " + std::to_string(code));
      break;
    }
  }
  stop.store(true);
  for (std::thread& thread : threads) {
    thread.join();
  }
}

}  // namespace
}  // namespace quorvane
