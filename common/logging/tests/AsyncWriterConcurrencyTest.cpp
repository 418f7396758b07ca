// Many threads logging through one asynchronous writer, and forks while they
// do. Run under ThreadSanitizer and AddressSanitizer as well.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/logging/AsyncFileWriter.h"
#include "common/utilities/testing/ChildProcess.h"
#include "common/utilities/testing/ScopedFileOpsOverride.h"
#include "common/utilities/testing/TemporaryFile.h"

// The children of these tests start threads after a fork of a threaded
// process, which is exactly what the writer's fork callbacks are for; and in a
// child the parent's other threads look like threads nobody joined.
extern "C" __attribute__((visibility("default"), used)) const char* __tsan_default_options() {
  return "die_after_fork=0:report_thread_leaks=0";
}

namespace quorvane {
namespace {

constexpr const char* kDiscardSuffix = " log messages discarded: logging faster than we can write";

// The lines "<source> <n>" of a file, by source, in file order; discard lines
// are summed into `discarded`.
struct ParsedLog {
  std::map<std::string, std::vector<long>> bySource;
  long discarded = 0;
  long otherLines = 0;
};

ParsedLog parse(const std::string& text) {
  ParsedLog parsed;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const size_t space = line.find(' ');
    if (line.ends_with(kDiscardSuffix)) {
      parsed.discarded += std::stol(line.substr(0, space));
    } else if (space != std::string::npos) {
      parsed.bySource[line.substr(0, space)].push_back(std::stol(line.substr(space + 1)));
    } else {
      ++parsed.otherLines;
    }
  }
  return parsed;
}

// Starts `threads` threads that each log "t<k> <i>" for i in [0, count).
std::vector<std::thread> startLoggers(AsyncLogWriter& writer, int threads, long count) {
  std::vector<std::thread> loggers;
  for (int t = 0; t < threads; ++t) {
    loggers.emplace_back([&writer, t, count] {
      for (long i = 0; i < count; ++i) {
        writer.writeMessage("t" + std::to_string(t) + " " + std::to_string(i) + "\n");
      }
    });
  }
  return loggers;
}

void expectEveryLineOnceInOrder(const ParsedLog& log, const std::string& source, long count) {
  auto it = log.bySource.find(source);
  ASSERT_NE(it, log.bySource.end()) << source;
  ASSERT_EQ(static_cast<long>(it->second.size()), count) << source;
  for (long i = 0; i < count; ++i) {
    ASSERT_EQ(it->second[i], i) << source;
  }
}

TEST(AsyncWriterConcurrencyTest, ALargeLimitLosesNothingAndKeepsEachThreadsOrder) {
  constexpr int kThreads = 4;
  constexpr long kCount = 20000;
  test::TemporaryFile file;
  {
    AsyncFileWriter writer(File(file.openForAppend(), true));
    writer.setMaxBufferSize(size_t{1} << 30);
    std::vector<std::thread> loggers = startLoggers(writer, kThreads, kCount);
    for (int i = 0; i < 50; ++i) {
      writer.flush();
    }
    for (std::thread& logger : loggers) {
      logger.join();
    }
  }
  ParsedLog log = parse(file.contents());
  EXPECT_EQ(log.discarded, 0);
  EXPECT_EQ(log.otherLines, 0);
  for (int t = 0; t < kThreads; ++t) {
    expectEveryLineOnceInOrder(log, "t" + std::to_string(t), kCount);
  }
}

TEST(AsyncWriterConcurrencyTest, ASmallLimitAccountsForEveryLineWrittenOrDiscarded) {
  constexpr int kThreads = 4;
  constexpr long kCount = 20000;
  test::TemporaryFile file;
  {
    AsyncFileWriter writer(File(file.openForAppend(), true));
    writer.setMaxBufferSize(2048);
    std::vector<std::thread> loggers = startLoggers(writer, kThreads, kCount);
    for (std::thread& logger : loggers) {
      logger.join();
    }
  }
  ParsedLog log = parse(file.contents());
  long written = 0;
  for (const auto& [source, numbers] : log.bySource) {
    written += static_cast<long>(numbers.size());
    for (size_t i = 1; i < numbers.size(); ++i) {
      ASSERT_LT(numbers[i - 1], numbers[i]) << source;
    }
  }
  EXPECT_EQ(written + log.discarded, kThreads * kCount);
}

TEST(AsyncWriterConcurrencyTest, AChildLogsThroughANewThreadWithoutThePendingMessages) {
  test::TemporaryFile file;
  test::ScriptedFileOps ops;
  auto writer = std::make_unique<AsyncFileWriter>(File(file.openForAppend(), true));
  // The queue is over its limit at the fork: the child must still log, and
  // must neither write the parent's pending messages nor report its drops.
  writer->setMaxBufferSize(16);
  pid_t pid;
  {
    test::ScopedFileOpsOverride override(ops);
    // The I/O thread sits in a write while the fork starts; the writer's
    // preparation waits for it and finds the later messages still queued.
    ops.holdWritesFor(std::chrono::milliseconds(100));
    writer->writeMessage(std::string("parent 0\n"));
    ops.waitForHeldCalls(1);
    writer->writeMessage(std::string("parent 1 pending and over the limit\n"));
    writer->writeMessage(std::string("parent 2 dropped\n"));
    pid = ::fork();
    if (pid == 0) {
      writer->writeMessage(std::string("child 0\n"));
      writer->flush();
      writer->writeMessage(std::string("child 1\n"));
      writer.reset();
      ::_exit(0);
    }
    writer->flush();
  }
  EXPECT_EQ(test::exitCodeWithin(pid, std::chrono::seconds(30)), 0);
  writer->writeMessage(std::string("parent 3\n"));
  writer.reset();

  ParsedLog log = parse(file.contents());
  EXPECT_EQ(log.bySource["parent"], (std::vector<long>{0, 1, 3}));
  EXPECT_EQ(log.bySource["child"], (std::vector<long>{0, 1}));
  EXPECT_EQ(log.discarded, 1);
}

TEST(AsyncWriterConcurrencyTest, AForkStormWhileThreadsLogFlushAndReplaceWriters) {
  KESTRO_SKIP_FORK_WITH_THREADS_UNDER_ASAN();
  constexpr int kThreads = 3;
  constexpr long kCount = 30000;
  constexpr int kForks = 40;
  test::TemporaryFile file;
  auto writer = std::make_unique<AsyncFileWriter>(File(file.openForAppend(), true));
  writer->setMaxBufferSize(size_t{1} << 30);
  std::atomic<bool> stop{false};

  std::vector<std::thread> threads = startLoggers(*writer, kThreads, kCount);
  threads.emplace_back([&] {
    while (!stop.load()) {
      writer->flush();
    }
  });
  // Writers come and go (registering and unregistering) during the forks.
  // On the heap, as writers always are: a child reuses the stacks of the
  // parent's other threads for its own.
  threads.emplace_back([&] {
    while (!stop.load()) {
      auto shortLived = std::make_unique<AsyncFileWriter>(File(file.openForAppend(), true));
      shortLived->writeMessage(std::string("short 0\n"));
    }
  });

  for (int i = 0; i < kForks; ++i) {
    pid_t pid = ::fork();
    if (pid == 0) {
      const std::string source = "child" + std::to_string(i);
      for (int n = 0; n < 5; ++n) {
        writer->writeMessage(source + " " + std::to_string(n) + "\n");
      }
      writer->flush();
      ::_exit(0);
    }
    EXPECT_EQ(test::exitCodeWithin(pid, std::chrono::seconds(30)), 0) << "fork " << i;
  }
  for (int t = 0; t < kThreads; ++t) {
    threads[t].join();
  }
  stop.store(true);
  for (size_t t = kThreads; t < threads.size(); ++t) {
    threads[t].join();
  }
  writer.reset();

  ParsedLog log = parse(file.contents());
  for (int t = 0; t < kThreads; ++t) {
    expectEveryLineOnceInOrder(log, "t" + std::to_string(t), kCount);
  }
  for (int i = 0; i < kForks; ++i) {
    expectEveryLineOnceInOrder(log, "child" + std::to_string(i), 5);
  }
}

}  // namespace
}  // namespace quorvane
