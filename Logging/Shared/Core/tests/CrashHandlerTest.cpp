// What a crash leaves in the log files: every line the writers had accepted,
// then the crash report on the main channel, and the signal still ends the
// process (exit status, previous handler). Each case runs in a child process
// that crashes on purpose; the test reads the child's files afterwards.
//
// Under AddressSanitizer and ThreadSanitizer, whose runtimes own SIGSEGV,
// SIGBUS and SIGFPE (their handler reports the fault and exits with a status
// of its own, so neither the status nor a previous handler shows the signal),
// the cases crash with abort() (SIGABRT, which they leave alone) instead of a
// null dereference; the second-fault case, a SIGSEGV, is left out there, and
// under AddressSanitizer the cases that fork while threads run skip.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "Logging/Shared/Core/tests/ChannelLogTestSupport.h"
#include "Logging/Shared/Core/tests/ForwardingTestSupport.h"
#include "common/utilities/FileOps.h"
#include "common/utilities/ForkHandlerRegistry.h"
#include "common/utilities/testing/ChildProcess.h"
#include "common/utilities/testing/ScopedFileOpsOverride.h"
#include "kestro/logcore.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KESTRO_SANITIZER_OWNS_SIGSEGV 1
constexpr int kCrashSignal = SIGABRT;
#else
constexpr int kCrashSignal = SIGSEGV;
#endif

namespace quorvane::kestro::logging {
namespace {

using ::testing::IsEmpty;
using ::testing::SizeIs;

constexpr int kThreads = 4;
constexpr int kLinesPerThread = 2500;
constexpr auto kChildLimit = std::chrono::seconds(30);

const test::Channel& mainChannel() { return test::channels()[0]; }

[[noreturn]] void dereferenceNull() {
  *static_cast<volatile int*>(nullptr) = 1;
  ::abort();  // not reached
}

// SIGSEGV by a null dereference, or SIGABRT by abort().
[[noreturn]] void crash(int signal) {
  if (signal == SIGSEGV) {
    dereferenceNull();
  }
  ::abort();
}

std::vector<int> crashSignals() {
#ifdef KESTRO_SANITIZER_OWNS_SIGSEGV
  return {SIGABRT};
#else
  return {SIGSEGV, SIGABRT};
#endif
}

std::string nameOf(int signal) { return signal == SIGSEGV ? "SIGSEGV" : "SIGABRT"; }

// 128 + the signal that ended the child running `body`; -1 when it hung.
template <typename Body>
int crashInChild(Body body) {
  return test::exitCodeOfChild(body, kChildLimit);
}

// kThreads threads log kLinesPerThread numbered lines each ("t<i> <n>").
void logFromThreads(test::ForeignLogger& module) {
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&module, t] {
      for (int i = 0; i < kLinesPerThread; ++i) {
        module.log("app", LogLevel::INFO, "t" + std::to_string(t) + " " + std::to_string(i));
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
}

// The main channel's files hold every thread's lines, in order, and nothing
// else than the crash report for `signal` (its first line and frames).
void expectLinesAndReport(const test::TemporaryDirectory& dir, const std::string& signal,
                          int threads = kThreads) {
  const test::ChannelLines lines = test::readChannel(dir, mainChannel());
  for (int t = 0; t < threads; ++t) {
    EXPECT_TRUE(test::isCompleteSequence(lines, "t" + std::to_string(t), kLinesPerThread))
        << "thread " << t << ": "
        << (lines.bySource.count("t" + std::to_string(t))
                ? lines.bySource.at("t" + std::to_string(t)).size()
                : 0)
        << " lines";
  }
  static const std::regex header(
      R"(^F\d{4} \d{2}:\d{2}:\d{2}\.\d{6}[-+]\d{4} +(\d+) CrashHandler\.cpp:\d+\] (.*)$)");
  ASSERT_FALSE(lines.malformed.empty()) << "no crash report";
  std::smatch match;
  ASSERT_TRUE(std::regex_match(lines.malformed[0], match, header)) << lines.malformed[0];
  EXPECT_THAT(match[2].str(),
              ::testing::MatchesRegex("Fatal signal " + signal + " \\([0-9]+\\) in process [0-9]+, "
                                      "thread " + match[1].str() + "; backtrace:"));
  for (size_t i = 1; i < lines.malformed.size(); ++i) {
    ASSERT_TRUE(std::regex_match(lines.malformed[i], match, header)) << lines.malformed[i];
    EXPECT_THAT(match[2].str(), ::testing::MatchesRegex("  #[0-9]+ 0x[0-9a-f]+ .*"));
  }
  EXPECT_EQ(lines.discarded, 0);
}

TEST(CrashHandlerTest, ANullDereferenceOrAnAbortAfterLinesFromFourThreadsLosesNone) {
  for (int signal : crashSignals()) {
    SCOPED_TRACE(nameOf(signal));
    test::TemporaryDirectory dir;
    const int code = crashInChild([&] {
      initLogging(dir.path(), "main", "1", false);
      test::ForeignLogger module;
      logFromThreads(module);
      crash(signal);
    });
    EXPECT_EQ(code, 128 + signal);
    expectLinesAndReport(dir, nameOf(signal));
  }
}

// A handler installed before initLogging: it notes that it ran in a file,
// then leaves the signal to the default action.
int previousHandlerMark = -1;
void previousHandler(int signal, siginfo_t*, void*) {
  (void)::write(previousHandlerMark, "previous handler ran\n", 21);
  ::signal(signal, SIG_DFL);
}

TEST(CrashHandlerTest, AHandlerInstalledBeforeStillRunsAndTheStatusShowsTheSignal) {
  test::TemporaryDirectory dir;
  const std::string mark = dir.pathOf("mark");
  for (int signal : crashSignals()) {
    SCOPED_TRACE(signal);
    const int code = crashInChild([&] {
      previousHandlerMark = ::open(mark.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      struct sigaction action {};
      action.sa_sigaction = &previousHandler;
      action.sa_flags = SA_SIGINFO;
      ::sigaction(signal, &action, nullptr);
      initLogging(dir.path(), "main", "1", false);
      test::ForeignLogger module;
      module.log("app", LogLevel::INFO, "t0 0");
      crash(signal);
    });
    EXPECT_EQ(code, 128 + signal);
    EXPECT_EQ(dir.contentsOf("mark"), "previous handler ran\n");
  }
  const test::ChannelLines lines = test::readChannel(dir, mainChannel());
  EXPECT_THAT(lines.bySource.at("t0"), SizeIs(crashSignals().size()));
}

TEST(CrashHandlerTest, AfterDeinitLoggingTheHandlerIsGone) {
  test::TemporaryDirectory dir;
  const int code = crashInChild([&] {
    struct sigaction before {};
    ::sigaction(SIGSEGV, nullptr, &before);
    initLogging(dir.path(), "main", "1", false);
    deinitLogging();
    struct sigaction after {};
    ::sigaction(SIGSEGV, nullptr, &after);
    ::_exit(after.sa_handler == before.sa_handler ? 0 : 1);
  });
  EXPECT_EQ(code, 0);
}

// A slow disk: every writev waits `delay` first; once armed, the next writev
// dereferences null instead (on the writer's thread, inside a batch).
class SlowDisk : public FileOps {
 public:
  explicit SlowDisk(std::chrono::microseconds delay) : delay_(delay) {}
  ssize_t writev(int fd, const struct iovec* iov, int count) override {
    if (armed.load()) {
      crash(kCrashSignal);
    }
    std::this_thread::sleep_for(delay_);
    return FileOps::writev(fd, iov, count);
  }
  std::atomic<bool> armed{false};

 private:
  const std::chrono::microseconds delay_;
};

TEST(CrashHandlerTest, ACrashWhileTheWriterThreadIsBusyWritingLosesNone) {
  test::TemporaryDirectory dir;
  const int code = crashInChild([&] {
    initLogging(dir.path(), "main", "1", false);
    static SlowDisk disk(std::chrono::milliseconds(5));
    test::ScopedFileOpsOverride slow(disk);
    test::ForeignLogger module;
    logFromThreads(module);
    crash(kCrashSignal);
  });
  EXPECT_EQ(code, 128 + kCrashSignal);
  expectLinesAndReport(dir, nameOf(kCrashSignal));
}

TEST(CrashHandlerTest, ACrashOfTheWriterThreadItselfMidBatchLosesNone) {
  test::TemporaryDirectory dir;
  const int code = crashInChild([&] {
    initLogging(dir.path(), "main", "1", true);
    // 100-byte files: a write per line, so the writer is far behind the
    // logging threads and inside a batch when it crashes.
    test::limitChannelFileSize(100);
    static SlowDisk disk(std::chrono::milliseconds(1));
    test::ScopedFileOpsOverride crashing(disk);
    test::ForeignLogger module;
    logFromThreads(module);
    disk.armed = true;
    std::this_thread::sleep_for(kChildLimit);
  });
  EXPECT_EQ(code, 128 + kCrashSignal);
  expectLinesAndReport(dir, nameOf(kCrashSignal));
}

TEST(CrashHandlerTest, ACrashInAForkedChildWritesTheChildsLinesIntoItsOwnFile) {
  KESTRO_SKIP_FORK_WITH_THREADS_UNDER_ASAN();
  test::TemporaryDirectory dir;
  const int code = crashInChild([&] {
    initLogging(dir.path(), "main", "1", false);
    test::ForeignLogger module;
    module.log("app", LogLevel::INFO, "parent 0");
    flushLogs();
    const pid_t child = ::fork();
    if (child == 0) {
      logFromThreads(module);
      crash(kCrashSignal);
    }
    ::_exit(test::exitCodeWithin(child, kChildLimit));
  });
  EXPECT_EQ(code, 128 + kCrashSignal);
  const test::ChannelLines lines = test::readChannel(dir, mainChannel());
  EXPECT_TRUE(test::isCompleteSequence(lines, "parent", 1));
  EXPECT_EQ(lines.files, 2u);
  expectLinesAndReport(dir, nameOf(kCrashSignal));
}

// The writer's mutex is held by the crashing thread: a fork handler older
// than the writers runs after theirs, which hold their mutexes, and crashes.
TEST(CrashHandlerTest, ACrashWhileTheCrashingThreadHoldsTheWritersLocksEndsInTime) {
  KESTRO_SKIP_FORK_WITH_THREADS_UNDER_ASAN();
  test::TemporaryDirectory dir;
  const auto start = std::chrono::steady_clock::now();
  static int key;
  const int code = crashInChild([&] {
    ForkHandlerRegistry::registerForkHandlers(
        &key, [] { crash(kCrashSignal); return true; }, [] {}, [] {});
    initLogging(dir.path(), "main", "1", false);
    // Slow writes keep lines queued until the fork stops the writer threads.
    static SlowDisk disk(std::chrono::milliseconds(5));
    test::ScopedFileOpsOverride slow(disk);
    test::ForeignLogger module;
    logFromThreads(module);
    ::fork();
  });
  EXPECT_EQ(code, 128 + kCrashSignal);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  expectLinesAndReport(dir, nameOf(kCrashSignal));
}

// Faults or hangs inside the crash path itself: the write of the crash path
// (on the crashing thread) dereferences null, or blocks for good.
std::atomic<bool> inCrashPath{false};
class FailingCrashWrites : public FileOps {
 public:
  explicit FailingCrashWrites(bool hang) : hang_(hang) {}
  ssize_t write(int fd, const void* data, size_t size) override {
    if (inCrashPath.load() && ::pthread_equal(::pthread_self(), crashing_)) {
      if (!hang_) {
        dereferenceNull();
      }
      while (true) {
        ::pause();
      }
    }
    return FileOps::write(fd, data, size);
  }
  pthread_t crashing_ = ::pthread_self();

 private:
  const bool hang_;
};

TEST(CrashHandlerTest, ASecondFaultOrAStuckWriteInTheCrashPathNeverHangs) {
  std::vector<bool> cases = {true};
#ifndef KESTRO_SANITIZER_OWNS_SIGSEGV
  cases.push_back(false);  // the second fault is a SIGSEGV, the sanitizer's
#endif
  for (bool hang : cases) {
    SCOPED_TRACE(hang ? "stuck write" : "second fault");
    test::TemporaryDirectory dir;
    const auto start = std::chrono::steady_clock::now();
    const int code = crashInChild([&] {
      initLogging(dir.path(), "main", "1", false);
      static FailingCrashWrites ops(hang);
      test::ScopedFileOpsOverride failing(ops);
      test::ForeignLogger module;
      module.log("app", LogLevel::INFO, "t0 0");
      inCrashPath = true;
      crash(kCrashSignal);
    });
    EXPECT_EQ(code, 128 + (hang ? kCrashSignal : SIGSEGV));
    // The backstop ends a stuck report 4 s after the signal.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
}

}  // namespace
}  // namespace quorvane::kestro::logging
