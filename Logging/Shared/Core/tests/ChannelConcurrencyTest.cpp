// The four channels under load: many threads, many rotations, and forks while
// threads log. Every case runs in its own process (the core library's state is
// process-wide). Run under ThreadSanitizer as well.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fmt/chrono.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "Logging/Shared/Core/tests/ChannelLogTestSupport.h"
#include "Logging/Shared/Core/tests/ForwardingTestSupport.h"
#include "common/utilities/testing/ChildProcess.h"
#include "common/utilities/testing/ScopedTimeZone.h"
#include "kestro/logcore.h"

// Children of these tests log through writer threads restarted after a fork of
// a threaded process, which is what the writers' fork callbacks are for.
extern "C" __attribute__((visibility("default"), used)) const char* __tsan_default_options() {
  return "die_after_fork=0:report_thread_leaks=0";
}

namespace quorvane::kestro::logging {
namespace {

using test::Channel;
using test::ChannelLines;
using test::channels;

// How many lines a thread logs on each channel between two flushes: enough
// for many batches, few enough that a queue never reaches its limit.
constexpr long kLinesPerFlush = 200;

// Logs "<source> <i>" on every channel for i = 0, 1, ... until `stop` is set
// and at least `minimum` lines are out, pausing for `pause` after each flush;
// returns the count.
long logNumberedLines(test::ForeignLogger& module, const std::string& source, long minimum,
                      const std::atomic<bool>& stop,
                      std::chrono::milliseconds pause = std::chrono::milliseconds(0)) {
  long i = 0;
  for (; i < minimum || !stop.load(); ++i) {
    for (const Channel& channel : channels()) {
      module.log(channel.category, channel.level, source + " " + std::to_string(i));
    }
    if (i % kLinesPerFlush == kLinesPerFlush - 1) {
      flushLogs();
      std::this_thread::sleep_for(pause);
    }
  }
  return i;
}

TEST(ChannelConcurrencyTest, NoLineIsLostTornOrReorderedAcrossManyRotations) {
  constexpr int kThreads = 4;
  constexpr long kLines = 3000;
  test::TemporaryDirectory dir;
  initLogging(dir.path(), "main", "1", true);
  // About forty lines per file: a rotation every few batches. Files opened
  // within one second share a name (and so are one file); the pauses spread
  // the run over more than a second, so that there are several.
  test::limitChannelFileSize(3000);

  test::ForeignLogger module;
  const std::atomic<bool> stop{true};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      logNumberedLines(module, "t" + std::to_string(t), kLines, stop,
                       std::chrono::milliseconds(80));
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  deinitLogging();  // writes out and closes every file

  for (const Channel& channel : channels()) {
    SCOPED_TRACE(channel.word);
    const ChannelLines lines = test::readChannel(dir, channel);
    EXPECT_GE(lines.files, 2u);
    EXPECT_THAT(lines.malformed, ::testing::IsEmpty());
    EXPECT_EQ(lines.discarded, 0);
    EXPECT_EQ(lines.bySource.size(), static_cast<size_t>(kThreads));
    for (int t = 0; t < kThreads; ++t) {
      EXPECT_TRUE(test::isCompleteSequence(lines, "t" + std::to_string(t), kLines))
          << "thread " << t;
    }
  }
}

TEST(ChannelConcurrencyTest,
     AForkStormWhileThreadsLogEndsWithoutDeadlockAndChildrenKeepToTheirFiles) {
  KESTRO_SKIP_FORK_WITH_THREADS_UNDER_ASAN();
  KESTRO_SKIP_FORK_STORM_UNDER_TSAN();
  constexpr int kThreads = 3;
  constexpr int kForks = 30;
  constexpr long kChildLines = 5;
  test::TemporaryDirectory dir;
  initLogging(dir.path(), "main", "1", true);
  // Built before any thread starts: a child must not find its initialisation
  // in progress on a thread that does not exist there.
  (void)channels();

  test::ForeignLogger module;
  std::atomic<bool> stop{false};
  std::vector<long> counts(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back(
        [&, t] { counts[t] = logNumberedLines(module, "t" + std::to_string(t), 1000, stop); });
  }

  std::vector<pid_t> children;
  for (int i = 0; i < kForks; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    const pid_t pid = ::fork();
    if (pid == 0) {
      const std::atomic<bool> done{true};
      logNumberedLines(module, "child" + std::to_string(i), kChildLines, done);
      flushLogs();
      ::_exit(0);
    }
    if (pid < 0) {
      ADD_FAILURE() << "fork failed";
      break;
    }
    children.push_back(pid);
    const int code = test::exitCodeWithin(pid, std::chrono::seconds(20));
    if (code != 0) {
      ADD_FAILURE() << "child " << i << (code < 0 ? " hung" : " failed");
      break;
    }
  }
  stop.store(true);
  for (std::thread& thread : threads) {
    thread.join();
  }
  flushLogs();

  const std::string parentTag = "-p" + std::to_string(::getpid()) + "-";
  for (const Channel& channel : channels()) {
    SCOPED_TRACE(channel.word);
    const ChannelLines parent = test::readChannel(dir, channel, parentTag);
    EXPECT_THAT(parent.malformed, ::testing::IsEmpty());
    EXPECT_EQ(parent.discarded, 0);
    EXPECT_EQ(parent.bySource.size(), static_cast<size_t>(kThreads)) << "children's lines";
    for (int t = 0; t < kThreads; ++t) {
      EXPECT_TRUE(test::isCompleteSequence(parent, "t" + std::to_string(t), counts[t]))
          << "thread " << t;
    }
    for (size_t i = 0; i < children.size(); ++i) {
      const ChannelLines child =
          test::readChannel(dir, channel, "-p" + std::to_string(children[i]) + "-");
      EXPECT_EQ(child.files, 1u) << "child " << i;
      EXPECT_THAT(child.malformed, ::testing::IsEmpty());
      ASSERT_EQ(child.bySource.size(), 1u) << "child " << i;
      EXPECT_TRUE(test::isCompleteSequence(child, "child" + std::to_string(i), kChildLines))
          << "child " << i;
    }
  }
}

// What the main channel wrote into the files named with process `pid`.
std::string mainLogOf(const test::TemporaryDirectory& dir, pid_t pid) {
  std::string contents;
  for (const std::string& name : dir.fileNamesStartingWith("kestro-main-d")) {
    if (name.find("-p" + std::to_string(pid) + "-") != std::string::npos) {
      contents += dir.contentsOf(name);
    }
  }
  return contents;
}

// The C library guards its time-zone state with a lock that a forked child
// inherits as it was at the fork. A thread of the application that prints
// dates is inside that lock much of the time; the children forked meanwhile
// must neither format a line nor name their file through it.
TEST(ChannelConcurrencyTest, AChildForkedWhileAThreadIsInTheLocalTimeCodeLogsAndFlushes) {
  constexpr int kForks = 60;
  // 2024-03-12 13:05:09 UTC; child i logs a line of second kFirstSecond + i,
  // which no thread formats before it.
  constexpr int64_t kFirstSecond = 1710248709;
  test::ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  test::TemporaryDirectory dir;
  initLogging(dir.path(), "main", "1", false);
  test::ForeignLogger module;

  std::atomic<bool> stop{false};
  std::thread dates([&] {
    std::tm fields;
    for (std::time_t second = kFirstSecond - 1; !stop.load(std::memory_order_relaxed);) {
      ::localtime_r(&second, &fields);
    }
  });
  std::vector<pid_t> children;
  for (int i = 0; i < kForks; ++i) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      const auto second =
          std::chrono::system_clock::time_point(std::chrono::seconds(kFirstSecond + i));
      module.logAt("app", LogLevel::INFO, second, "child " + std::to_string(i));
      flushLogs();
      ::_exit(0);
    }
    const int code = pid < 0 ? pid : test::exitCodeWithin(pid, std::chrono::seconds(5));
    if (code != 0) {
      ADD_FAILURE() << "child " << i << " of " << kForks
                    << (pid < 0    ? ": fork failed"
                        : code < 0 ? " hung"
                                   : " failed");
      break;
    }
    children.push_back(pid);
  }
  stop.store(true);
  dates.join();

  for (size_t i = 0; i < children.size(); ++i) {
    // Byte for byte what the parent prints for that second.
    const std::time_t second = kFirstSecond + static_cast<std::time_t>(i);
    std::tm fields;
    ::localtime_r(&second, &fields);
    EXPECT_EQ(mainLogOf(dir, children[i]),
              fmt::format("I{:%m%d %H:%M:%S}.000000{:%z} {:5d} Module.cpp:42] child {}\n", fields,
                          fields, children[i], i))
        << "child " << i;
  }
}

}  // namespace
}  // namespace quorvane::kestro::logging
