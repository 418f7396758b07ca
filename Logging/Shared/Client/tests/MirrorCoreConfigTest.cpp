// The configuration a module applies for logcore's: logcore's levels, no
// handler but the forwarding one at the root, the way up always open.

#include "Logging/Shared/Client/src/MirrorCoreConfig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::kestro::logging {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

LogCategoryConfig category(LogLevel level, bool inherit, LogLevel propagate,
                           std::vector<std::string> handlers) {
  LogCategoryConfig config(level, inherit, std::move(handlers));
  config.propagate = propagate;
  return config;
}

TEST(MirrorCoreConfigTest, CopiesLevelsAndForwardsAtTheRootOnly) {
  const LogConfig core(
      {{"kestroLog", LogHandlerConfig("kestroGlog", {{"prefix", "/logs/kestro-"}})},
       {"qsynLog", LogHandlerConfig("kestroXqsyn")}},
      {{"", category(LogLevel::INFO, true, LogLevel::NONE, {"kestroLog"})},
       {"qsyn", category(LogLevel::DBG, false, LogLevel::WARN, {"qsynLog"})},
       {"qsyn.Network.mqtt_client", category(LogLevel::INFO, false, LogLevel::NONE, {})},
       {"rtc", category(LogLevel::DBG3, true, LogLevel::ERR, {})}});

  const LogConfig mirrored = mirroredConfig(core);

  ASSERT_EQ(mirrored.handlerConfigs().size(), 1u);
  EXPECT_EQ(mirrored.handlerConfigs().at("kestroForward"), LogHandlerConfig("kestroForward"));
  const auto& categories = mirrored.categoryConfigs();
  ASSERT_EQ(categories.size(), core.categoryConfigs().size());
  for (const auto& [name, coreCategory] : core.categoryConfigs()) {
    const LogCategoryConfig& copy = categories.at(name);
    EXPECT_EQ(copy.level, coreCategory.level) << name;
    EXPECT_EQ(copy.inherit, coreCategory.inherit) << name;
    EXPECT_EQ(copy.propagate, LogLevel::NONE) << name;
    if (name.empty()) {
      EXPECT_THAT(*copy.handlers, ElementsAre("kestroForward"));
    } else {
      ASSERT_TRUE(copy.handlers.has_value()) << name;
      EXPECT_THAT(*copy.handlers, IsEmpty()) << name;
    }
  }
}

TEST(MirrorCoreConfigTest, ForwardsAtTheRootEvenWhenTheCoreReportsNone) {
  const LogConfig mirrored = mirroredConfig(LogConfig());
  ASSERT_EQ(mirrored.categoryConfigs().size(), 1u);
  const LogCategoryConfig& root = mirrored.categoryConfigs().at("");
  EXPECT_EQ(root.level, LogLevel::INFO);
  EXPECT_FALSE(root.inherit);
  EXPECT_THAT(*root.handlers, ElementsAre("kestroForward"));
}

}  // namespace
}  // namespace quorvane::kestro::logging
