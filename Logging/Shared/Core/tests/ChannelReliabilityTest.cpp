// What the four channels promise when things go wrong: lines at the sync level
// survive the process being killed right after the call, a FATAL message
// flushes every channel before the process ends, and failing file systems
// cost lines (with warnings) but never the logging caller. Every case runs in
// its own process (the core library's state is process-wide).

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Logging/Shared/Core/tests/ChannelLogTestSupport.h"
#include "Logging/Shared/Core/tests/ForwardingTestSupport.h"
#include "common/logging/testing/InternalWarningCapture.h"
#include "common/utilities/testing/ChildProcess.h"
#include "common/utilities/testing/ScopedFileOpsOverride.h"
#include "kestro/logcore.h"

namespace quorvane::kestro::logging {
namespace {

using test::Channel;
using test::ChannelLines;
using test::channels;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

const Channel& mainChannel() { return channels()[0]; }

// 128 + the signal that ended the child running `body` (its exit code when
// it exited; -1 when it hung).
template <typename Body>
int inChild(Body body) {
  return test::exitCodeOfChild(body, std::chrono::seconds(60));
}

// Logs "<source> <i>" for i in [0, count) on `channel`.
void logLines(test::ForeignLogger& module, const Channel& channel, const std::string& source,
              int count) {
  for (int i = 0; i < count; ++i) {
    module.log(channel.category, channel.level, source + " " + std::to_string(i));
  }
}

TEST(ChannelReliabilityTest, AWarnLineIsInTheFileWhenTheProcessIsKilledRightAfterTheCall) {
  constexpr int kChildren = 8;
  test::TemporaryDirectory dir;
  for (int n = 0; n < kChildren; ++n) {
    const int status = inChild([&] {
      initLogging(dir.path(), "main", "1", false);
      test::ForeignLogger module;
      // Queued, not flushed on their own; the WARN line's flush takes them.
      logLines(module, mainChannel(), "queued", 100);
      module.log("app", LogLevel::WARN, "durable 0");
      ::kill(::getpid(), SIGKILL);
    });
    ASSERT_EQ(status, 128 + SIGKILL);
  }

  const ChannelLines lines = test::readChannel(dir, mainChannel());
  EXPECT_EQ(lines.files, static_cast<size_t>(kChildren));
  EXPECT_THAT(lines.malformed, IsEmpty());
  // Each child's lines are in a file of its own; together every queued line
  // and every WARN line is there.
  ASSERT_THAT(lines.bySource.at("queued"), SizeIs(100 * kChildren));
  ASSERT_THAT(lines.bySource.at("durable"), SizeIs(kChildren));
  for (const std::string& name : dir.fileNamesStartingWith("kestro-")) {
    EXPECT_THAT(dir.contentsOf(name), EndsWith("] durable 0\n")) << name;
  }
}

TEST(ChannelReliabilityTest, AFatalMessageFlushesEveryChannelBeforeTheProcessEnds) {
  test::TemporaryDirectory dir;
  const int status = inChild([&] {
    initLogging(dir.path(), "main", "1", true);
    test::ForeignLogger module;
    for (const Channel& channel : channels()) {
      logLines(module, channel, "before", 300);
    }
    module.log("app", LogLevel::FATAL, "fatal 0");
  });
  ASSERT_EQ(status, 128 + SIGABRT);

  for (const Channel& channel : channels()) {
    SCOPED_TRACE(channel.word);
    const ChannelLines lines = test::readChannel(dir, channel);
    if (&channel != &mainChannel()) {
      EXPECT_THAT(lines.malformed, IsEmpty());
    }
    EXPECT_TRUE(test::isCompleteSequence(lines, "before", 300));
  }
  const ChannelLines main = test::readChannel(dir, mainChannel());
  EXPECT_TRUE(test::isCompleteSequence(main, "fatal", 1));
  // The abort that ends the process is reported after the FATAL line (the
  // crash handler's report, a line and a backtrace).
  ASSERT_THAT(main.malformed, ::testing::Not(IsEmpty()));
  EXPECT_THAT(main.malformed[0], ::testing::HasSubstr("] Fatal signal SIGABRT (6) in process "));
}

TEST(ChannelReliabilityTest, ARemovedLogDirectoryCostsOneWarningPerBatchUntilItIsBack) {
  test::TemporaryDirectory dir;
  const std::string logs = dir.pathOf("logs");
  std::filesystem::create_directory(logs);
  initLogging(logs, "main", "1", false);
  test::InternalWarningCapture warnings;
  test::ForeignLogger module;
  module.log("app", LogLevel::INFO, "kept 0");
  flushLogs();

  std::filesystem::remove_all(logs);
  for (int batch = 0; batch < 3; ++batch) {
    // One line and a flush: one batch.
    EXPECT_NO_THROW(module.log("app", LogLevel::INFO, "lost " + std::to_string(batch)));
    flushLogs();
  }
  std::vector<test::CapturedWarning> captured = warnings.warnings();
  ASSERT_THAT(captured, SizeIs(3));
  for (const test::CapturedWarning& warning : captured) {
    EXPECT_THAT(warning.text, ::testing::StartsWith("error writing to log file "));
    EXPECT_THAT(warning.text, HasSubstr(" in RotatingFileLogWriter: "));
    EXPECT_THAT(warning.text, HasSubstr("open(\"" + logs + "/kestro-main-d"));
    EXPECT_THAT(warning.text, EndsWith(std::strerror(ENOENT)));
  }

  std::filesystem::create_directory(logs);
  module.log("app", LogLevel::INFO, "kept 1");
  flushLogs();
  EXPECT_EQ(warnings.count(), 3u);
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(logs)) {
    files.push_back(entry.path().filename().string());
  }
  ASSERT_THAT(files, SizeIs(1));
  std::ifstream in(logs + "/" + files[0]);
  std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_THAT(contents, EndsWith("] kept 1\n"));
  EXPECT_THAT(contents, ::testing::Not(HasSubstr("lost")));
}

// Checks the main channel after writes failed part-way while 40 lines were
// logged (in as many batches as the writer's thread happened to take, between
// 2 and 40): the lines before and after the failure are whole and complete, at
// most one line is cut short, each failed batch gave one warning ending in
// `errorText`, and none came once writing worked again.
void expectFailureCostOnlyTheFailedBatches(const test::TemporaryDirectory& dir,
                                           const test::InternalWarningCapture& warnings,
                                           size_t warningsWhileFailing, const char* errorText) {
  const ChannelLines lines = test::readChannel(dir, mainChannel());
  EXPECT_TRUE(test::isCompleteSequence(lines, "before", 20));
  EXPECT_TRUE(test::isCompleteSequence(lines, "after", 20));
  EXPECT_LE(lines.malformed.size(), 1u);
  std::vector<test::CapturedWarning> captured = warnings.warnings();
  EXPECT_GE(warningsWhileFailing, 2u);
  EXPECT_LE(warningsWhileFailing, 40u);
  ASSERT_THAT(captured, SizeIs(warningsWhileFailing));
  for (const test::CapturedWarning& warning : captured) {
    EXPECT_THAT(warning.text, HasSubstr(" in RotatingFileLogWriter: "));
    EXPECT_THAT(warning.text, EndsWith(errorText));
  }
}

// Lifts a file size limit again when the test ends, however it ends.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    const struct rlimit limit = {bytes, previous_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~ScopedFileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &previous_); }

 private:
  struct rlimit previous_;
};

TEST(ChannelReliabilityTest, AFileSizeLimitGivesWarningsAndLoggingGoesOnOnceItIsLifted) {
  // Past the limit a write fails with EFBIG instead of ending the process.
  ::signal(SIGXFSZ, SIG_IGN);
  test::TemporaryDirectory dir;
  initLogging(dir.path(), "main", "1", false);
  test::InternalWarningCapture warnings;
  test::ForeignLogger module;
  logLines(module, mainChannel(), "before", 20);
  flushLogs();
  {
    const std::string name = dir.fileNamesStartingWith("kestro-").at(0);
    ScopedFileSizeLimit limit(dir.contentsOf(name).size() + 100);
    // The first batch is cut at the limit; the second cannot write at all.
    EXPECT_NO_THROW(logLines(module, mainChannel(), "over", 20));
    flushLogs();
    EXPECT_NO_THROW(logLines(module, mainChannel(), "overmore", 20));
    flushLogs();
  }
  const size_t failed = warnings.count();
  logLines(module, mainChannel(), "after", 20);
  flushLogs();
  expectFailureCostOnlyTheFailedBatches(dir, warnings, failed, std::strerror(EFBIG));
}

TEST(ChannelReliabilityTest, AFullDeviceGivesWarningsAndLoggingGoesOnOnceThereIsRoom) {
  test::TemporaryDirectory dir;
  initLogging(dir.path(), "main", "1", false);
  test::InternalWarningCapture warnings;
  test::ForeignLogger module;
  logLines(module, mainChannel(), "before", 20);
  flushLogs();
  test::ScriptedFileOps ops;
  size_t failed = 0;
  {
    test::ScopedFileOpsOverride override(ops);
    ops.fillDeviceAfter(150);
    EXPECT_NO_THROW(logLines(module, mainChannel(), "over", 20));
    flushLogs();
    EXPECT_NO_THROW(logLines(module, mainChannel(), "overmore", 20));
    flushLogs();
    failed = warnings.count();
    ops.fillDeviceAfter(-1);
    logLines(module, mainChannel(), "after", 20);
    flushLogs();
  }
  expectFailureCostOnlyTheFailedBatches(dir, warnings, failed, std::strerror(ENOSPC));
}

}  // namespace
}  // namespace quorvane::kestro::logging
