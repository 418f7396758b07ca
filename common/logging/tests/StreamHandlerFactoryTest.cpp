#include "common/logging/StreamHandlerFactory.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include "common/logging/AsyncFileWriter.h"
#include "common/logging/ImmediateFileWriter.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogConfig.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/StandardLogHandler.h"
#include "common/utilities/testing/ErrorText.h"
#include "common/utilities/testing/ScopedFdRedirect.h"

namespace quorvane {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;

class StreamHandlerFactoryTest : public ::testing::Test {
 protected:
  std::shared_ptr<StandardLogHandler> create(const LogHandlerFactory::Options& options) {
    return std::dynamic_pointer_cast<StandardLogHandler>(factory_.createHandler(options));
  }
  std::string error(const LogHandlerFactory::Options& options) {
    return test::errorText<std::invalid_argument>([&] { factory_.createHandler(options); });
  }
  void log(LogHandler& handler, LogLevel level, std::string text) {
    LogCategory* category = db_.categoryFor("s");
    LogMessage message(category, level, "src/s.cpp", 3, "", std::move(text));
    handler.handleMessage(message, category);
  }

  StreamHandlerFactory factory_;
  LoggerDB db_;
};

TEST_F(StreamHandlerFactoryTest, AsyncByDefaultImmediateOnRequest) {
  EXPECT_EQ(factory_.getType(), "stream");
  auto async = create({{"stream", "stderr"}});
  EXPECT_NE(dynamic_cast<AsyncFileWriter*>(async->getWriter().get()), nullptr);
  auto immediate = create({{"stream", "stderr"}, {"async", "false"}});
  EXPECT_NE(dynamic_cast<ImmediateFileWriter*>(immediate->getWriter().get()), nullptr);
  auto sized = create({{"stream", "stdout"}, {"async", "yes"}, {"max_buffer_size", "100"}});
  auto* writer = dynamic_cast<AsyncFileWriter*>(sized->getWriter().get());
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(writer->maxBufferSize(), 100u);
}

TEST_F(StreamHandlerFactoryTest, ErrorTexts) {
  EXPECT_EQ(error({}), "no stream name specified for stream handler");
  EXPECT_EQ(error({{"stream", "file"}}),
            "unknown stream \"file\": expected one of stdout or stderr");
  // Options pass; the writer cannot be built.
  EXPECT_EQ(error({{"stream", "stdout"}, {"async", "off"}, {"max_buffer_size", "100"}}),
            "the \"max_buffer_size\" option is only valid for async file handlers");
  EXPECT_EQ(error({{"stream", "stdout"}, {"max_buffer_size", "0"}}),
            "error processing option \"max_buffer_size\": must be a positive integer");
  EXPECT_THAT(error({{"stream", "stdout"}, {"max_buffer_size", "lots"}}),
              ::testing::StartsWith("error processing option \"max_buffer_size\": "));
  EXPECT_THAT(error({{"stream", "stdout"}, {"max_buffer_size", "lots"}}), HasSubstr("\"lots\""));
  EXPECT_THAT(error({{"stream", "stdout"}, {"async", "maybe"}}),
              ::testing::StartsWith("error processing option \"async\": "));
  EXPECT_THAT(error({{"stream", "stdout"}, {"async", "maybe"}}), HasSubstr("\"maybe\""));
}

TEST_F(StreamHandlerFactoryTest, LevelDropsInfoOnStdout) {
  test::ScopedFdRedirect stdoutCapture(STDOUT_FILENO);
  auto handler = create({{"stream", "stdout"}, {"async", "false"}, {"level", "WARN"}});
  log(*handler, LogLevel::INFO, "quiet");
  log(*handler, LogLevel::WARN, "loud");
  EXPECT_THAT(stdoutCapture.contents(),
              MatchesRegex("W[0-9]{4} [0-9:]{8}\\.[0-9]{6} +[0-9]+ s\\.cpp:3\\] loud\n"));
}

TEST_F(StreamHandlerFactoryTest, AnAsyncHandlerWritesWhenFlushed) {
  test::ScopedFdRedirect stderrCapture(STDERR_FILENO);
  auto handler = create({{"stream", "stderr"}});
  log(*handler, LogLevel::INFO, "queued");
  handler->flush();
  EXPECT_THAT(stderrCapture.contents(), HasSubstr("s.cpp:3] queued\n"));
}

TEST_F(StreamHandlerFactoryTest, ColouredAutoOnAPseudoTerminalAndOnAPipe) {
  const LogHandlerFactory::Options options{{"stream", "stdout"},
                                           {"async", "false"},
                                           {"formatter", "custom"},
                                           {"log_format", "{L}"},
                                           {"colored", "auto"}};
  int master = -1;
  int slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  int savedStdout = ::dup(STDOUT_FILENO);
  ::dup2(slave, STDOUT_FILENO);
  log(*create(options), LogLevel::ERR, "on a terminal");
  ::dup2(savedStdout, STDOUT_FILENO);
  ::close(savedStdout);
  ::close(slave);
  char buffer[256];
  ssize_t n = ::read(master, buffer, sizeof buffer);
  ::close(master);
  ASSERT_GT(n, 0);
  EXPECT_THAT(std::string(buffer, static_cast<size_t>(n)),
              ::testing::StartsWith("\x1b[31mE on a terminal\x1b[0m"));

  test::ScopedFdRedirect notATerminal(STDOUT_FILENO);
  log(*create(options), LogLevel::ERR, "in a file");
  EXPECT_EQ(notATerminal.contents(), "E in a file\n");
}

TEST_F(StreamHandlerFactoryTest, TheDatabaseNamesTheHandlerInFactoryErrors) {
  db_.addHandlerFactory(std::make_unique<StreamHandlerFactory>());
  LogConfig config({{"h", LogHandlerConfig("stream", {{"stream", "stderr"}, {"bogus", "1"}})}}, {});
  try {
    db_.applyConfig(config);
    FAIL() << "expected std::invalid_argument";
  } catch (const std::invalid_argument& ex) {
    EXPECT_THAT(ex.what(), MatchesRegex("error creating log handler \"h\": .*invalid_argument: "
                                        "unknown option \"bogus\""));
  }
}

}  // namespace
}  // namespace quorvane
