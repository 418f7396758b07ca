#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/logging/LogCategory.h"
#include "common/logging/LogConfig.h"
#include "common/logging/LogConfigParser.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/testing/CapturingLogHandler.h"
#include "common/logging/testing/TestLogHandlerFactory.h"
#include "common/utilities/ExceptionString.h"
#include "common/utilities/testing/ErrorText.h"

namespace quorvane {
namespace {

using test::CapturingLogHandler;
using test::TestLogHandlerFactory;
using UpdateMode = TestLogHandlerFactory::UpdateMode;
using Names = std::vector<std::string>;

LogHandlerConfig handler(std::string_view type, LogHandlerConfig::Options options = {}) {
  return LogHandlerConfig{type, std::move(options)};
}

LogCategoryConfig category(LogLevel level, bool inherit, std::optional<Names> handlers) {
  LogCategoryConfig result(level, inherit);
  result.handlers = std::move(handlers);
  return result;
}

std::string applyError(LoggerDB& db, const LogConfig& config, bool replace = false) {
  return test::errorText<std::invalid_argument>(
      [&] { replace ? db.replaceConfig(config) : db.applyConfig(config); });
}

LogHandler* onlyHandler(LoggerDB& db, std::string_view name) {
  auto handlers = db.categoryFor(name)->handlersSnapshot();
  return handlers.size() == 1 ? handlers[0].get() : nullptr;
}

// A factory whose handlers report no type, as a hand-written handler might.
class TypelessFactory : public LogHandlerFactory {
 public:
  std::string_view getType() const override { return "typeless"; }
  std::shared_ptr<LogHandler> createHandler(const Options& options) override {
    return std::make_shared<CapturingLogHandler>(LogHandlerConfig{options});
  }
};

// A factory that answers with no handler at all.
class NullFactory : public LogHandlerFactory {
 public:
  std::string_view getType() const override { return "null"; }
  std::shared_ptr<LogHandler> createHandler(const Options&) override { return nullptr; }
};

class LoggerDBConfigTest : public ::testing::Test {
 protected:
  LoggerDB db;
  std::shared_ptr<TestLogHandlerFactory::Record> factory = TestLogHandlerFactory::install(db, "t");
};

TEST_F(LoggerDBConfigTest, ApplyCreatesHandlersAndConfiguresCategories) {
  LogConfig cfg;
  cfg.handlerConfigs().emplace("h", handler("t", {{"k", "v"}}));
  LogCategoryConfig ab = category(LogLevel::DBG, false, Names{"h", "h"});
  ab.propagate = LogLevel::ERR;
  cfg.categoryConfigs().emplace("a.b", ab);
  cfg.categoryConfigs().emplace("", category(LogLevel::WARN, false, Names{"h"}));
  db.applyConfig(cfg);

  LogCategory* a = db.findCategory("a");
  ASSERT_NE(a, nullptr);  // ancestors are created too
  LogCategory* abCategory = db.findCategory("a.b");
  EXPECT_EQ(abCategory->levelInfo(), std::make_pair(LogLevel::DBG, false));
  EXPECT_EQ(abCategory->propagationLevel(), LogLevel::ERR);
  auto handlers = abCategory->handlersSnapshot();
  ASSERT_EQ(handlers.size(), 2u);  // duplicates are kept
  EXPECT_EQ(handlers[0], handlers[1]);
  EXPECT_EQ(onlyHandler(db, ""), handlers[0].get());
  EXPECT_EQ(handlers[0]->getConfig(), handler("t", {{"k", "v"}}));
  EXPECT_EQ(db.categoryFor("")->effectiveLevel(), LogLevel::WARN);
  EXPECT_EQ(factory->createCalls, 1);
}

TEST_F(LoggerDBConfigTest, ACategoryWithoutAHandlerListKeepsItsHandlersWhenMerged) {
  LogConfig first;
  first.handlerConfigs().emplace("h", handler("t"));
  first.categoryConfigs().emplace("a.b", category(LogLevel::WARN, true, Names{"h"}));
  db.applyConfig(first);
  LogHandler* attached = onlyHandler(db, "a.b");
  ASSERT_NE(attached, nullptr);

  LogConfig levelOnly = configFromDynamic(
      dynamic::object().insert("categories", dynamic::object().insert("a.b", "DBG3")));
  db.applyConfig(levelOnly);
  EXPECT_EQ(onlyHandler(db, "a.b"), attached);
  EXPECT_EQ(toUnderlying(db.categoryFor("a.b")->level()), 1996u);

  // Replacing with the same config clears them.
  db.replaceConfig(levelOnly);
  EXPECT_TRUE(db.categoryFor("a.b")->handlersSnapshot().empty());
  EXPECT_EQ(factory->aliveCount(), 0u);
}

TEST_F(LoggerDBConfigTest, ATypelessHandlerConfigMergesIntoTheExistingOptions) {
  LogConfig first;
  first.handlerConfigs().emplace("h", handler("t", {{"a", "1"}, {"b", "2"}}));
  first.categoryConfigs().emplace("", category(LogLevel::INFO, false, Names{"h"}));
  db.applyConfig(first);

  LogConfig update;
  update.handlerConfigs().emplace("h", LogHandlerConfig{{{"b", "3"}, {"c", "4"}}});
  db.applyConfig(update);
  EXPECT_EQ(onlyHandler(db, "")->getConfig(), handler("t", {{"a", "1"}, {"b", "3"}, {"c", "4"}}));
  EXPECT_EQ(factory->updateCalls, 1);

  LogConfig unknown;
  unknown.handlerConfigs().emplace("zz", LogHandlerConfig{{{"b", "3"}}});
  EXPECT_EQ(applyError(db, unknown), "cannot update unknown log handler \"zz\"");
}

TEST_F(LoggerDBConfigTest, PreparationErrors) {
  db.addHandlerFactory(std::make_unique<TypelessFactory>());
  db.addHandlerFactory(std::make_unique<NullFactory>());
  LogConfig typeless;
  typeless.handlerConfigs().emplace("x", handler("typeless"));
  typeless.categoryConfigs().emplace("", category(LogLevel::INFO, false, Names{"x"}));
  db.applyConfig(typeless);
  LogConfig update;
  update.handlerConfigs().emplace("x", LogHandlerConfig{{{"k", "v"}}});
  EXPECT_EQ(applyError(db, update), "existing log handler \"x\" is missing type information");

  LogConfig unknownType;
  unknownType.handlerConfigs().emplace("h", handler("nope"));
  EXPECT_EQ(applyError(db, unknownType), "unknown log handler type \"nope\"");
  EXPECT_EQ(applyError(db, unknownType, true), "unknown log handler type \"nope\"");

  LogConfig failing;
  failing.handlerConfigs().emplace("h", handler("t", {{"fail", "boom"}}));
  EXPECT_EQ(applyError(db, failing), "error creating log handler \"h\": " +
                                         exceptionDescription(std::runtime_error("boom")));

  LogConfig failingUpdate;
  failingUpdate.handlerConfigs().emplace("x", handler("t", {{"fail", "bang"}}));
  EXPECT_EQ(
      applyError(db, failingUpdate, true),
      "error updating log handler \"x\": " + exceptionDescription(std::runtime_error("bang")));

  LogConfig nullHandler;
  nullHandler.handlerConfigs().emplace("n", handler("null"));
  EXPECT_EQ(applyError(db, nullHandler),
            "error creating log handler \"n\": the factory returned no handler");

  LogConfig unknownHandler;
  unknownHandler.categoryConfigs().emplace("a", category(LogLevel::INFO, true, Names{"x", "y"}));
  EXPECT_EQ(applyError(db, unknownHandler),
            "unknown log handler \"y\" configured for log category \"a\"");
  EXPECT_EQ(factory->aliveCount(), 0u);  // everything built for a failed change is gone
}

TEST_F(LoggerDBConfigTest, AFailedChangeLeavesTheDatabaseExactlyAsItWas) {
  LogConfig first;
  first.handlerConfigs().emplace("h", handler("t", {{"gen", "1"}}));
  first.categoryConfigs().emplace("", category(LogLevel::INFO, false, Names{"h"}));
  first.categoryConfigs().emplace("a", category(LogLevel::WARN, false, Names{"h"}));
  db.applyConfig(first);
  const LogConfig before = db.completeConfig();
  LogHandler* original = onlyHandler(db, "a");

  // "h" is rebuilt (a new object) before the category check fails.
  for (bool replace : {false, true}) {
    LogConfig failing;
    failing.handlerConfigs().emplace("h", handler("t", {{"gen", "2"}}));
    failing.handlerConfigs().emplace("new", handler("t"));
    failing.categoryConfigs().emplace("a", category(LogLevel::DBG, true, Names{"missing"}));
    failing.categoryConfigs().emplace("b", category(LogLevel::DBG, true, Names{"h"}));
    EXPECT_EQ(applyError(db, failing, replace),
              "unknown log handler \"missing\" configured for log category \"a\"");

    EXPECT_EQ(db.completeConfig(), before);  // "h" is still reported by its name
    EXPECT_EQ(db.findCategory("b"), nullptr);
    EXPECT_EQ(onlyHandler(db, "a"), original);
    EXPECT_EQ(factory->aliveCount(), 1u);
  }

  // The registry still leads to the attached handler: a later update of "h"
  // replaces the object the categories actually use.
  LogConfig update;
  update.handlerConfigs().emplace("h", LogHandlerConfig{{{"gen", "3"}}});
  db.applyConfig(update);
  EXPECT_EQ(onlyHandler(db, "a")->getConfig(), handler("t", {{"gen", "3"}}));
  EXPECT_EQ(onlyHandler(db, ""), onlyHandler(db, "a"));
  EXPECT_EQ(factory->aliveCount(), 1u);
}

TEST_F(LoggerDBConfigTest, ANewHandlerObjectReplacesTheOldOneInEveryCategory) {
  LogConfig first;
  first.handlerConfigs().emplace("h", handler("t"));
  first.handlerConfigs().emplace("other", handler("t"));
  first.categoryConfigs().emplace("a", category(LogLevel::INFO, true, Names{"other", "h"}));
  first.categoryConfigs().emplace("b", category(LogLevel::INFO, true, Names{"h"}));
  db.applyConfig(first);
  std::weak_ptr<LogHandler> old = db.categoryFor("b")->handlersSnapshot()[0];
  LogHandler* other = db.categoryFor("a")->handlersSnapshot()[0].get();

  // Only the handler is named: the categories are not.
  LogConfig update;
  update.handlerConfigs().emplace("h", handler("t", {{"k", "v"}}));
  db.applyConfig(update);
  EXPECT_TRUE(old.expired());
  auto a = db.categoryFor("a")->handlersSnapshot();
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].get(), other);  // order kept, untouched entries kept
  EXPECT_EQ(a[1].get(), onlyHandler(db, "b"));
  EXPECT_EQ(a[1]->getConfig(), handler("t", {{"k", "v"}}));
  EXPECT_EQ(factory->aliveCount(), 2u);
}

TEST_F(LoggerDBConfigTest, KeepingTheExistingObjectSubstitutesNothing) {
  LoggerDB keepDb;
  auto keep = TestLogHandlerFactory::install(keepDb, "k", UpdateMode::KeepExisting);
  LogConfig first;
  first.handlerConfigs().emplace("h", handler("k"));
  first.categoryConfigs().emplace("a", category(LogLevel::INFO, true, Names{"h"}));
  keepDb.applyConfig(first);
  LogHandler* attached = onlyHandler(keepDb, "a");

  LogConfig update;
  update.handlerConfigs().emplace("h", handler("k", {{"x", "y"}}));
  keepDb.applyConfig(update);
  EXPECT_EQ(onlyHandler(keepDb, "a"), attached);
  EXPECT_EQ(keep->updateCalls, 1);
  EXPECT_EQ(keep->aliveCount(), 1u);
}

TEST_F(LoggerDBConfigTest, HandlersNoCategoryUsesAreDestroyed) {
  LogConfig first;
  first.handlerConfigs().emplace("h1", handler("t"));
  first.handlerConfigs().emplace("unused", handler("t"));
  first.categoryConfigs().emplace("", category(LogLevel::INFO, false, Names{"h1"}));
  db.applyConfig(first);
  EXPECT_EQ(factory->aliveCount(), 1u);  // "unused" went at the end of the change
  EXPECT_EQ(db.currentConfig().handlerConfigs().count("unused"), 0u);

  LogConfig second;
  second.handlerConfigs().emplace("h2", handler("t"));
  second.categoryConfigs().emplace("", category(LogLevel::INFO, false, Names{"h2"}));
  db.applyConfig(second);
  EXPECT_EQ(factory->aliveCount(), 1u);
  EXPECT_TRUE(factory->built[0].expired());
  LogConfig current = db.currentConfig();
  EXPECT_EQ(current.handlerConfigs().size(), 1u);
  EXPECT_EQ(current.categoryConfigs().at("").handlers, Names{"h2"});
}

TEST_F(LoggerDBConfigTest, ReplacingWithAnEmptyConfigResetsEverything) {
  LogConfig first;
  first.handlerConfigs().emplace("h", handler("t"));
  first.categoryConfigs().emplace("", category(LogLevel::ERR, false, Names{"h"}));
  LogCategoryConfig ab = category(LogLevel::DBG, false, Names{"h"});
  ab.propagate = LogLevel::WARN;
  first.categoryConfigs().emplace("a.b", ab);
  db.applyConfig(first);
  auto anonymous = std::make_shared<CapturingLogHandler>();
  db.categoryFor("c")->setHandlers({anonymous});

  db.replaceConfig(LogConfig{});
  EXPECT_EQ(db.categoryFor("")->levelInfo(), std::make_pair(LogLevel::INFO, false));
  for (auto name : {"a", "a.b", "c"}) {
    EXPECT_EQ(db.categoryFor(name)->levelInfo(), std::make_pair(LogLevel::MAX_LEVEL, true));
    EXPECT_TRUE(db.categoryFor(name)->handlersSnapshot().empty());
  }
  EXPECT_TRUE(db.categoryFor("")->handlersSnapshot().empty());
  EXPECT_EQ(db.categoryFor("a.b")->effectiveLevel(), LogLevel::INFO);
  // Replacement leaves propagation thresholds alone.
  EXPECT_EQ(db.categoryFor("a.b")->propagationLevel(), LogLevel::WARN);
  EXPECT_EQ(factory->aliveCount(), 0u);
  EXPECT_EQ(anonymous.use_count(), 1);
  EXPECT_TRUE(db.currentConfig().handlerConfigs().empty());

  // Merging the empty configuration changes nothing.
  db.applyConfig(first);
  const LogConfig before = db.completeConfig();
  db.applyConfig(LogConfig{});
  EXPECT_EQ(db.completeConfig(), before);
}

TEST_F(LoggerDBConfigTest, ReplaceConfiguresListedCategoriesAndResetsTheRest) {
  LogConfig first;
  first.handlerConfigs().emplace("h", handler("t"));
  first.categoryConfigs().emplace("x", category(LogLevel::ERR, false, Names{"h"}));
  first.categoryConfigs().emplace("y", category(LogLevel::ERR, false, Names{"h"}));
  db.applyConfig(first);

  LogConfig replacement;
  replacement.handlerConfigs().emplace("g", handler("t"));
  replacement.categoryConfigs().emplace("y", category(LogLevel::DBG, true, Names{"g"}));
  replacement.categoryConfigs().emplace("z.w", category(LogLevel::WARN, false, std::nullopt));
  db.replaceConfig(replacement);
  EXPECT_EQ(db.categoryFor("x")->levelInfo(), std::make_pair(LogLevel::MAX_LEVEL, true));
  EXPECT_TRUE(db.categoryFor("x")->handlersSnapshot().empty());
  EXPECT_EQ(db.categoryFor("y")->levelInfo(), std::make_pair(LogLevel::DBG, true));
  EXPECT_EQ(onlyHandler(db, "y")->getConfig(), handler("t"));
  EXPECT_EQ(db.categoryFor("z.w")->levelInfo(), std::make_pair(LogLevel::WARN, false));
  EXPECT_EQ(db.categoryFor("z")->levelInfo(), std::make_pair(LogLevel::MAX_LEVEL, true));
  EXPECT_EQ(factory->aliveCount(), 1u);  // "h" is gone
  LogConfig current = db.currentConfig();
  EXPECT_EQ(current.handlerConfigs().size(), 1u);
  EXPECT_EQ(current.categoryConfigs().count("x"), 0u);
  EXPECT_EQ(current.categoryConfigs().count("z.w"), 1u);
}

TEST_F(LoggerDBConfigTest, ConfigsBuiltInCodeMayUseAnySpellingButOnlyOne) {
  LogConfig cfg;
  cfg.handlerConfigs().emplace("h", handler("t"));
  cfg.categoryConfigs().emplace("a/b", category(LogLevel::WARN, false, Names{"h"}));
  db.replaceConfig(cfg);
  EXPECT_EQ(db.categoryFor("a.b")->levelInfo(), std::make_pair(LogLevel::WARN, false));
  EXPECT_NE(onlyHandler(db, "a.b"), nullptr);

  cfg.categoryConfigs().emplace("a.b", category(LogLevel::DBG, false, Names{}));
  std::vector<std::string> order;
  for (const auto& entry : cfg.categoryConfigs()) {
    order.push_back(entry.first);
  }
  const std::string expected = "category \"a.b\" listed multiple times under different names: \"" +
                               order[0] + "\" and \"" + order[1] + "\"";
  EXPECT_EQ(applyError(db, cfg), expected);
  EXPECT_EQ(applyError(db, cfg, true), expected);
  EXPECT_EQ(db.categoryFor("a.b")->levelInfo(), std::make_pair(LogLevel::WARN, false));
}

TEST_F(LoggerDBConfigTest, ReportingAFreshDatabase) {
  db.categoryFor("only.logged");
  LogConfig current = db.currentConfig();
  EXPECT_TRUE(current.handlerConfigs().empty());
  ASSERT_EQ(current.categoryConfigs().size(), 1u);
  EXPECT_EQ(current.categoryConfigs().at(""), category(LogLevel::INFO, false, Names{}));

  LogConfig complete = db.completeConfig();
  EXPECT_EQ(complete.categoryConfigs().size(), 3u);
  EXPECT_EQ(complete.categoryConfigs().at("only.logged"),
            category(LogLevel::MAX_LEVEL, true, Names{}));
  EXPECT_EQ(*configToDynamic(complete.categoryConfigs().at("only")).get_ptr("level"),
            dynamic("FATAL"));
}

TEST_F(LoggerDBConfigTest, ReportingNamedHandlersAndPropagation) {
  // The shape of the process database's start-up configuration.
  LogConfig start;
  start.handlerConfigs().emplace("default",
                                 handler("t", {{"stream", "stderr"}, {"async", "false"}}));
  start.categoryConfigs().emplace("", category(LogLevel::INFO, false, Names{"default"}));
  db.applyConfig(start);
  db.categoryFor("x");
  EXPECT_EQ(db.currentConfig(), start);
  EXPECT_EQ(configToDynamic(db.currentConfig()), configToDynamic(start));

  db.categoryFor("x")->setPropagationLevel(LogLevel::ERR);
  LogConfig complete = db.completeConfig();
  EXPECT_EQ(complete.categoryConfigs().at("x").propagate, LogLevel::ERR);
}

TEST_F(LoggerDBConfigTest, HandlersAttachedByCodeAreReportedAsAnonymous) {
  LogConfig named;
  // A named handler that happens to use the first anonymous name.
  named.handlerConfigs().emplace("anonymousHandler1", handler("t"));
  named.categoryConfigs().emplace("n", category(LogLevel::INFO, true, Names{"anonymousHandler1"}));
  db.applyConfig(named);

  auto first = std::make_shared<CapturingLogHandler>(handler("code", {{"id", "1"}}));
  auto second = std::make_shared<CapturingLogHandler>(handler("code", {{"id", "2"}}));
  db.categoryFor("p")->setHandlers({first});
  db.categoryFor("q")->setHandlers({first, second});

  LogConfig current = db.currentConfig();
  EXPECT_EQ(current.handlerConfigs().size(), 3u);
  const Names q = *current.categoryConfigs().at("q").handlers;
  ASSERT_EQ(q.size(), 2u);
  EXPECT_EQ(*current.categoryConfigs().at("p").handlers, Names{q[0]});  // one name per handler
  EXPECT_THAT(q, ::testing::UnorderedElementsAre("anonymousHandler2", "anonymousHandler3"));
  EXPECT_EQ(current.handlerConfigs().at(q[0]), handler("code", {{"id", "1"}}));
  EXPECT_EQ(current.handlerConfigs().at(q[1]), handler("code", {{"id", "2"}}));
}

TEST_F(LoggerDBConfigTest, AfterReleaseHandlersNoTypeIsKnown) {
  db.releaseHandlers();
  LogConfig cfg;
  cfg.handlerConfigs().emplace("h", handler("t"));
  EXPECT_EQ(applyError(db, cfg), "unknown log handler type \"t\"");
  TestLogHandlerFactory::install(db, "t");
  db.applyConfig(cfg);
}

TEST_F(LoggerDBConfigTest, MessagesFollowTheAppliedConfiguration) {
  LogConfig cfg = configFromDynamic(
      dynamic::object()
          .insert("categories", dynamic::object()
                                    .insert("", dynamic::object()
                                                    .insert("level", "WARN")
                                                    .insert("handlers", dynamic::array("root")))
                                    .insert("a.b", dynamic::object()
                                                       .insert("level", "DBG")
                                                       .insert("propagate", "ERR")
                                                       .insert("handlers", dynamic::array("ab"))))
          .insert("handlers", dynamic::object()
                                  .insert("root", dynamic::object().insert("type", "t"))
                                  .insert("ab", dynamic::object().insert("type", "t"))));
  db.applyConfig(cfg);
  auto root =
      std::dynamic_pointer_cast<CapturingLogHandler>(db.categoryFor("")->handlersSnapshot().at(0));
  auto ab = std::dynamic_pointer_cast<CapturingLogHandler>(
      db.categoryFor("a.b")->handlersSnapshot().at(0));
  LogCategory* category = db.categoryFor("a.b");
  for (LogLevel level : {LogLevel::DBG, LogLevel::WARN, LogLevel::ERR}) {
    if (category->isEnabled(level)) {
      category->dispatchMessage(LogMessage(category, level, "f.cpp", 1, "", logLevelName(level)));
    }
  }
  EXPECT_EQ(ab->texts(), (Names{"DEBUG", "WARN", "ERR"}));
  EXPECT_EQ(root->texts(), Names{"ERR"});
}

}  // namespace
}  // namespace quorvane
