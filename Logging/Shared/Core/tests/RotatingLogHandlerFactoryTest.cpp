#include "Logging/Shared/Core/src/RotatingLogHandlerFactory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Logging/Shared/Core/src/KestroStyleFormatter.h"
#include "Logging/Shared/Core/src/RotatingFileLogWriter.h"
#include "common/logging/StandardLogHandler.h"
#include "common/utilities/testing/ErrorText.h"

namespace quorvane::kestro::logging {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class RotatingLogHandlerFactoryTest : public ::testing::Test {
 protected:
  std::shared_ptr<StandardLogHandler> create(const LogHandlerFactory::Options& options) {
    return std::dynamic_pointer_cast<StandardLogHandler>(factory_.createHandler(options));
  }
  std::string error(const LogHandlerFactory::Options& options) {
    return test::errorText<std::invalid_argument>([&] { factory_.createHandler(options); });
  }
  static RotatingFileLogWriter& writerOf(const StandardLogHandler& handler) {
    return dynamic_cast<RotatingFileLogWriter&>(*handler.getWriter());
  }

  RotatingLogHandlerFactory<KestroStyleFormatter> factory_{"kestroGlog"};
};

TEST_F(RotatingLogHandlerFactoryTest, DefaultsAndTheFixedLayout) {
  EXPECT_EQ(factory_.getType(), "kestroGlog");
  auto handler = create({{"prefix", "/nonexistent/dir/x-"}, {"formatter", "custom"}});
  const RotatingFileLogWriter& writer = writerOf(*handler);
  EXPECT_EQ(writer.prefix(), "/nonexistent/dir/x-");
  EXPECT_EQ(writer.suffix(), ".log");
  EXPECT_EQ(writer.maxFileSize(), 5'000'000u);
  EXPECT_EQ(writer.maxLogAge(), 86'400);
  // "formatter" is accepted and has no effect.
  EXPECT_NE(dynamic_cast<KestroStyleFormatter*>(handler->getFormatter().get()), nullptr);
  EXPECT_EQ(handler->getConfig().type, "kestroGlog");
}

TEST_F(RotatingLogHandlerFactoryTest, OptionsReachTheWriter) {
  auto handler = create({{"prefix", "p-"},
                         {"suffix", "-x.log"},
                         {"maxFileSize", "0"},
                         {"maxLogAge", "18446744073709551615"},
                         {"sync_level", "WARN"}});
  const RotatingFileLogWriter& writer = writerOf(*handler);
  EXPECT_EQ(writer.suffix(), "-x.log");
  EXPECT_EQ(writer.maxFileSize(), 0u);
  EXPECT_EQ(writer.maxLogAge(), INT64_MAX);
  EXPECT_EQ(handler->getSyncLevel(), LogLevel::WARN);
}

TEST_F(RotatingLogHandlerFactoryTest, BadOptions) {
  EXPECT_THAT(error({{"prefix", "p-"}, {"maxFileSize", "1e6"}}),
              StartsWith("error processing option \"maxFileSize\": "));
  EXPECT_THAT(error({{"prefix", "p-"}, {"maxFileSize", "1e6"}}), HasSubstr("\"1e6\""));
  EXPECT_THAT(error({{"prefix", "p-"}, {"maxLogAge", "-5"}}),
              StartsWith("error processing option \"maxLogAge\": "));
  EXPECT_EQ(error({{"Prefix", "p-"}}), "unknown option \"Prefix\"");
  EXPECT_EQ(error({{"suffix", ".log"}}), "no prefix specified for rotating log handler");
  EXPECT_EQ(error({{"prefix", ""}}), "no prefix specified for rotating log handler");
  EXPECT_EQ(error({{"prefix", "p-"}, {"stream", "stderr"}}), "unknown option \"stream\"");
  const std::string nul("\0", 1);
  EXPECT_EQ(error({{"prefix", "dir/kestro-" + nul + "x-"}}),
            "NUL byte in the prefix of rotating log handler");
  EXPECT_EQ(error({{"prefix", "p-"}, {"suffix", "-id7" + nul + "7.log"}}),
            "NUL byte in the suffix of rotating log handler");
  EXPECT_EQ(error({{"prefix", nul}}), "NUL byte in the prefix of rotating log handler");
}

TEST_F(RotatingLogHandlerFactoryTest, RetentionLimitsReachTheWriterAndBadOnesAreOptionErrors) {
  auto unset = create({{"prefix", "p-"}});
  EXPECT_FALSE(writerOf(*unset).retentionLimits().enabled());
  auto set = create({{"prefix", "p-"}, {"maxLogFiles", "30"}, {"maxTotalLogSize", "1073741824"}});
  EXPECT_EQ(writerOf(*set).retentionLimits().maxFiles, 30u);
  EXPECT_EQ(writerOf(*set).retentionLimits().maxTotalBytes, 1073741824u);

  const std::string nul("\0", 1);
  for (const std::string option : {"maxLogFiles", "maxTotalLogSize"}) {
    struct Case {
      std::string value;
      std::string error;
    };
    for (const Case& c : std::vector<Case>{
             {"ten", "cannot convert \"ten\" to uint64: unexpected character"},
             {"-3", "cannot convert \"-3\" to uint64: unexpected character"},
             {"", "cannot convert \"\" to uint64: empty input"},
             {"1" + nul + "0", "cannot convert \"1\\00\" to uint64: unexpected character"},
             {"0", "must be a positive integer"},
         }) {
      EXPECT_EQ(error({{"prefix", "p-"}, {option, c.value}}),
                "error processing option \"" + option + "\": " + c.error);
    }
  }
  // Joined with the other option errors (in the options' order).
  const std::string joined =
      error({{"prefix", "p-"}, {"maxLogFiles", "0"}, {"maxTotalLogSize", "0"}, {"x", ""}});
  EXPECT_THAT(joined, HasSubstr("error processing option \"maxLogFiles\": must be a positive integer"));
  EXPECT_THAT(joined,
              HasSubstr("error processing option \"maxTotalLogSize\": must be a positive integer"));
  EXPECT_THAT(joined, HasSubstr("unknown option \"x\""));
  EXPECT_EQ(std::count(joined.begin(), joined.end(), ','), 2);
}

TEST_F(RotatingLogHandlerFactoryTest, ReapplyingIdenticalOptionsBuildsANewHandler) {
  const LogHandlerFactory::Options options{{"prefix", "p-"}};
  auto first = create(options);
  auto second = factory_.updateHandler(first, options);
  EXPECT_NE(second, first);
  EXPECT_NE(std::dynamic_pointer_cast<StandardLogHandler>(second)->getWriter(), first->getWriter());
}

}  // namespace
}  // namespace quorvane::kestro::logging
