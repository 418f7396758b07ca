#include "common/logging/LoggerDB.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "common/logging/LogCategory.h"
#include "common/logging/LogHandlerFactory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/testing/CapturingLogHandler.h"

namespace quorvane {
namespace {

using test::CapturingLogHandler;

class NamedFactory : public LogHandlerFactory {
 public:
  explicit NamedFactory(std::string type, int* destroyed = nullptr)
      : type_(std::move(type)), destroyed_(destroyed) {}
  ~NamedFactory() override {
    if (destroyed_ != nullptr) {
      ++*destroyed_;
    }
  }
  std::string_view getType() const override { return type_; }
  std::shared_ptr<LogHandler> createHandler(const Options&) override {
    return std::make_shared<CapturingLogHandler>();
  }

 private:
  std::string type_;
  int* destroyed_;
};

TEST(LoggerDBTest, AFactoryTypeRegistersOnceUnlessReplaced) {
  LoggerDB db;
  int destroyed = 0;
  db.addHandlerFactory(std::make_unique<NamedFactory>("t", &destroyed));
  try {
    db.addHandlerFactory(std::make_unique<NamedFactory>("t", &destroyed));
    FAIL() << "expected std::range_error";
  } catch (const std::range_error& ex) {
    EXPECT_STREQ(ex.what(), "a LogHandlerFactory for the type \"t\" already exists");
  }
  EXPECT_EQ(destroyed, 1);  // the rejected factory
  db.addHandlerFactory(std::make_unique<NamedFactory>("t", &destroyed), true);
  EXPECT_EQ(destroyed, 2);  // the replaced one
}

TEST(LoggerDBTest, FlushHandlersCountsASharedHandlerOnce) {
  LoggerDB db;
  auto shared = std::make_shared<CapturingLogHandler>();
  for (auto name : {"a", "b.c", ""}) {
    db.categoryFor(name)->setHandlers({shared});
  }
  EXPECT_EQ(db.flushHandlers(), 1u);
  EXPECT_EQ(shared->flushCount(), 1);

  auto other = std::make_shared<CapturingLogHandler>();
  db.categoryFor("d")->setHandlers({other, shared});
  EXPECT_EQ(db.flushHandlers(), 2u);
  EXPECT_EQ(shared->flushCount(), 2);
  EXPECT_EQ(other->flushCount(), 1);
}

TEST(LoggerDBTest, ReleaseHandlersDetachesEverythingAndDropsFactories) {
  LoggerDB db;
  int destroyed = 0;
  db.addHandlerFactory(std::make_unique<NamedFactory>("t", &destroyed));
  auto handler = std::make_shared<CapturingLogHandler>();
  std::weak_ptr<CapturingLogHandler> weak = handler;
  db.categoryFor("a")->setHandlers({handler});
  db.categoryFor("")->setHandlers({handler});
  handler.reset();

  db.releaseHandlers();
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(destroyed, 1);
  EXPECT_TRUE(db.categoryFor("a")->handlersSnapshot().empty());
  EXPECT_EQ(db.flushHandlers(), 0u);
  // The type can be registered again afterwards.
  db.addHandlerFactory(std::make_unique<NamedFactory>("t"));
}

TEST(LoggerDBTest, TheProcessDatabaseStartsWithTheRootAtInfo) {
  LoggerDB& db = LoggerDB::get();
  EXPECT_EQ(&db, &LoggerDB::get());
  EXPECT_EQ(db.categoryFor("")->levelInfo(), std::make_pair(LogLevel::INFO, false));
}

}  // namespace
}  // namespace quorvane
