// Many threads log to many categories while another thread changes levels and
// handler lists. Run under ThreadSanitizer to check the lock-free level paths
// and the handler-list copy.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/logging/Log.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/testing/CapturingLogHandler.h"
#include "common/logging/testing/TestLogHandlerFactory.h"

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
        std::string name = "c" + std::to_string((i + t) % kCategories) + ".leaf" + std::to_string(t);
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
    config.handlerConfigs().emplace(
        "h", LogHandlerConfig{"t", {{"round", std::to_string(round)}}});
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

}  // namespace
}  // namespace quorvane
