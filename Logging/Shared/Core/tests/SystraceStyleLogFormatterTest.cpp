#include "Logging/Shared/Core/src/SystraceStyleLogFormatter.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"

namespace quorvane::kestro::logging {
namespace {

class SystraceStyleLogFormatterTest : public ::testing::Test {
 protected:
  std::string format(std::string text) {
    LogMessage message(db_.categoryFor("trace"), LogLevel::DBG, "src/a.cpp", 1, "f",
                       std::move(text));
    threadId_ = message.threadId();
    return formatter_.formatMessage(message, nullptr);
  }

  LoggerDB db_;
  SystraceStyleLogFormatter formatter_;
  uint64_t threadId_ = 0;
};

TEST_F(SystraceStyleLogFormatterTest, WrapsTheFragmentWithProcessAndThread) {
  const std::string line = format(R"("name":"send","ph":"B","ts":12)");
  EXPECT_EQ(line, fmt::format(R"({{"pid":{},"tid":{},"name":"send","ph":"B","ts":12}},)"
                              "\n",
                              ::getpid(), threadId_));
}

TEST_F(SystraceStyleLogFormatterTest, RawTextIsCopiedUnchanged) {
  // Tabs, backslashes, control bytes, quotes and newlines are not escaped: the
  // raw text is used, not the sanitised one.
  const std::string raw = "\"a\":\"x\ty\\z\x01\",\n\"b\":1";
  const std::string line = format(raw);
  EXPECT_EQ(line, fmt::format("{{\"pid\":{},\"tid\":{},{}}},\n", ::getpid(), threadId_, raw));
  const std::string empty = format("");
  EXPECT_EQ(empty, fmt::format("{{\"pid\":{},\"tid\":{},}},\n", ::getpid(), threadId_));
}

TEST_F(SystraceStyleLogFormatterTest, AForkedChildWritesItsOwnProcessId) {
  const std::string parentLine = format("\"x\":1");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    LogMessage message(db_.categoryFor("trace"), LogLevel::DBG, "src/a.cpp", 1, "f",
                       std::string("\"x\":1"));
    const std::string line = formatter_.formatMessage(message, nullptr);
    ::_exit(line.rfind(fmt::format("{{\"pid\":{},", ::getpid()), 0) == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(parentLine.rfind(fmt::format("{{\"pid\":{},", ::getpid()), 0), 0u);
}

}  // namespace
}  // namespace quorvane::kestro::logging
