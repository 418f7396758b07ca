#include "common/logging/AsyncLogWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "common/logging/testing/InternalWarningCapture.h"
#include "common/utilities/ForkHandlerRegistry.h"

namespace quorvane {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;

// Flush markers (empty messages) left out.
std::vector<std::string> withoutMarkers(const std::vector<std::string>& messages) {
  std::vector<std::string> kept;
  for (const std::string& message : messages) {
    if (!message.empty()) {
      kept.push_back(message);
    }
  }
  return kept;
}

struct Batch {
  std::vector<std::string> messages;
  size_t discarded;
  std::string threadName;
};

// Records the batches a writer hands over. While held, writeBatch waits after
// recording, which keeps the writer's I/O thread busy at a known point. Lives
// outside the writer so that it outlives a writer's own fields.
class BatchRecorder {
 public:
  void record(const std::vector<std::string>& messages, size_t discarded) {
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    std::unique_lock<std::mutex> lock(mutex_);
    batches_.push_back({messages, discarded, name});
    changed_.notify_all();
    changed_.wait(lock, [this] { return !holding_; });
  }
  void hold(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    holding_ = on;
    changed_.notify_all();
  }
  void waitForBatches(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return batches_.size() >= count; });
  }
  std::vector<Batch> batches() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return batches_;
  }
  // All recorded messages, flush markers left out.
  std::vector<std::string> messages() const {
    std::vector<std::string> all;
    for (const Batch& batch : batches()) {
      for (std::string& message : withoutMarkers(batch.messages)) {
        all.push_back(std::move(message));
      }
    }
    return all;
  }

  std::function<void()> duringBatch;  // runs on the I/O thread in writeBatch

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool holding_ = false;
  std::vector<Batch> batches_;
};

class RecordingWriter : public AsyncLogWriter {
 public:
  explicit RecordingWriter(BatchRecorder& recorder) : recorder_(recorder) {}
  ~RecordingWriter() override { cleanup(); }
  bool writesToTerminal() const override { return false; }
  using AsyncLogWriter::cleanup;

 protected:
  void writeBatch(const LogBatch& batch, size_t discarded) override {
    if (recorder_.duringBatch) {
      recorder_.duringBatch();
    }
    recorder_.record(batch.toStrings(), discarded);
  }

 private:
  BatchRecorder& recorder_;
};

// Breaks the subclass contract: its destructor does not call cleanup().
class NoCleanupWriter : public AsyncLogWriter {
 public:
  explicit NoCleanupWriter(BatchRecorder& recorder) : recorder_(recorder) {}
  bool writesToTerminal() const override { return false; }

 protected:
  void writeBatch(const LogBatch& batch, size_t discarded) override {
    recorder_.record(batch.toStrings(), discarded);
  }

 private:
  BatchRecorder& recorder_;
};

TEST(AsyncLogWriterTest, NeverDiscardBypassesTheLimitButStillCountsTowardsIt) {
  BatchRecorder recorder;
  RecordingWriter writer(recorder);
  writer.setMaxBufferSize(10);
  recorder.hold(true);
  writer.writeMessage(std::string("busy"));
  recorder.waitForBatches(1);

  writer.writeMessage(std::string("aaaaa"));                                 // 5 bytes
  writer.writeMessage(std::string("bbbbbbbbbb"), LogWriter::NEVER_DISCARD);  // 15: over
  writer.writeMessage(std::string("c"));                                     // dropped
  writer.writeMessage(std::string("d"), LogWriter::NEVER_DISCARD);
  recorder.hold(false);
  writer.flush();

  std::vector<Batch> batches = recorder.batches();
  ASSERT_GE(batches.size(), 2u);
  EXPECT_THAT(withoutMarkers(batches[1].messages), ElementsAre("aaaaa", "bbbbbbbbbb", "d"));
  EXPECT_EQ(batches[1].discarded, 1u);
  EXPECT_EQ(batches[0].threadName, "log_writer");
}

TEST(AsyncLogWriterTest, FlushWaitsForTwoSwapsAndForEverythingQueuedBefore) {
  BatchRecorder recorder;
  RecordingWriter writer(recorder);
  // Nothing queued: the flush's own two markers make the two swaps (the
  // second batch of markers may still be on its way when flush returns).
  writer.flush();
  recorder.waitForBatches(2);
  std::vector<Batch> batches = recorder.batches();
  ASSERT_EQ(batches.size(), 2u);
  for (const Batch& batch : batches) {
    EXPECT_THAT(batch.messages, Each(""));
    EXPECT_FALSE(batch.messages.empty());
  }

  // A message queued behind a busy batch is written before flush returns.
  recorder.hold(true);
  writer.writeMessage(std::string("busy"));
  recorder.waitForBatches(3);
  writer.writeMessage(std::string("queued"));
  std::thread flusher([&] {
    writer.flush();
    EXPECT_THAT(recorder.messages(), ElementsAre("busy", "queued"));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  recorder.hold(false);
  flusher.join();
}

TEST(AsyncLogWriterTest, FlushNeitherHangsOnTheIoThreadNorAfterCleanup) {
  BatchRecorder recorder;
  RecordingWriter writer(recorder);
  // A batch that flushes its own writer (say, through a warning hook) would
  // wait for itself.
  recorder.duringBatch = [&writer] { writer.flush(); };
  writer.writeMessage(std::string("x"));
  writer.flush();

  writer.cleanup();
  writer.flush();  // the thread is stopped for good
  EXPECT_THAT(recorder.messages(), ElementsAre("x"));
}

TEST(AsyncLogWriterTest, CleanupHandsOverTheRemainderWithItsDiscardCount) {
  BatchRecorder recorder;
  auto writer = std::make_unique<RecordingWriter>(recorder);
  writer->setMaxBufferSize(1);
  recorder.hold(true);
  writer->writeMessage(std::string("busy"));
  recorder.waitForBatches(1);
  writer->writeMessage(std::string("last"));
  writer->writeMessage(std::string("dropped"));
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    recorder.hold(false);
  });
  writer.reset();  // waits for the busy batch, then writes the rest
  releaser.join();

  std::vector<Batch> batches = recorder.batches();
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_THAT(batches[1].messages, ElementsAre("last"));
  EXPECT_EQ(batches[1].discarded, 1u);
}

TEST(AsyncLogWriterTest, CleanupReportsDropsEvenWithNothingQueued) {
  BatchRecorder recorder;
  auto writer = std::make_unique<RecordingWriter>(recorder);
  writer->setMaxBufferSize(0);  // every message is dropped; the queue stays empty
  writer->writeMessage(std::string("a"));
  writer->writeMessage(std::string("b"));
  writer.reset();

  std::vector<Batch> batches = recorder.batches();
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_THAT(batches[0].messages, ::testing::IsEmpty());
  EXPECT_EQ(batches[0].discarded, 2u);
}

TEST(AsyncLogWriterTest, MissingCleanupWarnsAndLosesTheQueueWithoutHanging) {
  test::InternalWarningCapture warnings;
  BatchRecorder recorder;
  auto writer = std::make_unique<NoCleanupWriter>(recorder);
  recorder.hold(true);
  writer->writeMessage(std::string("written"));
  recorder.waitForBatches(1);
  writer->writeMessage(std::string("lost"));
  // Release the busy batch once the destructor has noticed the missing call.
  std::thread releaser([&] {
    while (warnings.count() == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    recorder.hold(false);
  });
  writer.reset();
  releaser.join();

  EXPECT_THAT(recorder.messages(), ElementsAre("written"));
  std::vector<test::CapturedWarning> captured = warnings.warnings();
  ASSERT_EQ(captured.size(), 1u);
  EXPECT_EQ(captured[0].sourceFile, "logging/AsyncLogWriter");
  EXPECT_EQ(captured[0].lineNumber, 52);
  EXPECT_EQ(captured[0].text, "cleanup() is not called before destroying");
}

TEST(AsyncLogWriterTest, TheOwnedTextIsCopiedAndTheCallersStringLeftAsItWas) {
  BatchRecorder recorder;
  RecordingWriter writer(recorder);
  std::string text = "a line that the caller keeps\n";
  const char* storage = text.data();
  writer.writeMessage(std::move(text));
  // The caller's string keeps its text and storage, for its next message.
  EXPECT_EQ(text, "a line that the caller keeps\n");  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(text.data(), storage);
  writer.flush();
  EXPECT_THAT(recorder.messages(), ElementsAre("a line that the caller keeps\n"));
}

// Waits until the recorder holds `count` messages (markers left out), without
// flushing; false after `limit`.
bool waitForMessages(const BatchRecorder& recorder, size_t count,
                     std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (recorder.messages().size() < count) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  return true;
}

TEST(AsyncLogWriterTest, EveryMessageReachesTheBatchesWithoutAFlushWhateverItsTiming) {
  // Single messages from two threads taking turns, each waited for without a
  // flush, at pauses around the gathering time: a message that arrives just
  // as the I/O thread goes from gathering to sleeping must still wake it. A
  // lost wake-up leaves the message queued for good and fails the wait.
  BatchRecorder recorder;
  RecordingWriter writer(recorder);
  writer.setGatheringTime(std::chrono::microseconds(100));
  constexpr int kMessages = 1500;
  int next = 0;
  bool lost = false;
  std::mutex turn;
  auto takeTurns = [&](unsigned seed) {
    while (true) {
      std::lock_guard<std::mutex> lock(turn);
      if (next == kMessages || lost) {
        return;
      }
      const int i = next++;
      writer.writeMessage("m" + std::to_string(i));
      if (!waitForMessages(recorder, static_cast<size_t>(i) + 1)) {
        lost = true;
        return;
      }
      seed = seed * 1103515245 + 12345;
      std::this_thread::sleep_for(std::chrono::microseconds((seed >> 8) % 250));
    }
  };
  std::thread a(takeTurns, 1u);
  std::thread b(takeTurns, 2u);
  a.join();
  b.join();
  ASSERT_FALSE(lost) << "a message was never written: the I/O thread was not woken";
  EXPECT_EQ(recorder.messages().size(), static_cast<size_t>(kMessages));
}

// Logs small messages until one stays unwritten for 100 ms, which shows that
// the I/O thread is gathering (a message that comes before the thread has
// started to gather is written at once; the thread gathers after that batch).
// Returns the number of messages the recorder should end up with.
size_t logUntilGathering(RecordingWriter& writer, const BatchRecorder& recorder) {
  size_t expected = recorder.messages().size();
  for (int attempt = 0; attempt < 50; ++attempt) {
    writer.writeMessage("small " + std::to_string(attempt));
    ++expected;
    if (!waitForMessages(recorder, expected, std::chrono::milliseconds(100))) {
      return expected;
    }
  }
  ADD_FAILURE() << "every message was written at once: the writer never gathered";
  return expected;
}

TEST(AsyncLogWriterTest, WhileGatheringOnlyAHalfFullQueueAFlushOrAStopWakeTheWriter) {
  BatchRecorder recorder;
  auto writer = std::make_unique<RecordingWriter>(recorder);
  writer->setMaxBufferSize(100);
  writer->setGatheringTime(std::chrono::seconds(30));
  // The first message wakes the sleeping thread; after its batch the thread
  // gathers for the next 30 seconds.
  writer->writeMessage(std::string("first"));
  ASSERT_TRUE(waitForMessages(recorder, 1));

  size_t expected = logUntilGathering(*writer, recorder);
  writer->flush();  // ends the gathering at once
  EXPECT_EQ(recorder.messages().size(), expected);

  // Half the limit wakes it too.
  expected = logUntilGathering(*writer, recorder);
  writer->writeMessage(std::string(50, 'b'));  // at least 50 of 100 bytes now
  EXPECT_TRUE(waitForMessages(recorder, expected + 1, std::chrono::seconds(5)));

  // Destruction does not wait for the gathering time either.
  logUntilGathering(*writer, recorder);
  writer->writeMessage(std::string("last"));
  const auto before = std::chrono::steady_clock::now();
  writer.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
  EXPECT_EQ(recorder.messages().back(), "last");
}

TEST(AsyncLogWriterTest, WithoutGatheringEachMessageIsWrittenAtOnce) {
  BatchRecorder recorder;
  RecordingWriter writer(recorder);
  writer.setGatheringTime(std::chrono::microseconds(0));
  for (int i = 0; i < 50; ++i) {
    writer.writeMessage("m" + std::to_string(i));
    ASSERT_TRUE(waitForMessages(recorder, static_cast<size_t>(i) + 1, std::chrono::seconds(5)));
  }
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KESTRO_RESERVES_SHADOW_MEMORY 1
#endif

#ifndef KESTRO_RESERVES_SHADOW_MEMORY
// Makes thread creation fail by capping the address space just above what the
// process uses, so no thread stack can be mapped.
void capAddressSpace() {
  std::ifstream statm("/proc/self/statm");
  unsigned long pages = 0;
  statm >> pages;
  const rlim_t limit = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (256u << 10);
  struct rlimit cap = {limit, limit};
  ::setrlimit(RLIMIT_AS, &cap);
}
#endif

TEST(AsyncLogWriterDeathTest, ThreadCreationFailureThrowsAndLeavesNoForkEntry) {
#ifdef KESTRO_RESERVES_SHADOW_MEMORY
  GTEST_SKIP() << "sanitizers reserve more address space than a cap allows";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: no cached stacks
  EXPECT_EXIT(
      {
        BatchRecorder recorder;
        const size_t before = ForkHandlerRegistry::handlerCount();
        capAddressSpace();
        try {
          RecordingWriter writer(recorder);
          std::exit(2);
        } catch (const std::system_error& ex) {
          const std::string what = ex.what();
          const bool textOk = what.rfind("thread constructor failed", 0) == 0;
          const bool codeOk = ex.code().value() == EAGAIN || ex.code().value() == ENOMEM;
          std::exit(textOk && codeOk && ForkHandlerRegistry::handlerCount() == before ? 0 : 3);
        }
      },
      ::testing::ExitedWithCode(0), "");
#endif
}

}  // namespace
}  // namespace quorvane
