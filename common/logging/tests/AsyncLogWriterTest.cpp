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

using ::testing::ElementsAre;
using ::testing::Each;

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
  void writeBatch(std::vector<std::string>& batch, size_t discarded) override {
    if (recorder_.duringBatch) {
      recorder_.duringBatch();
    }
    recorder_.record(batch, discarded);
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
  void writeBatch(std::vector<std::string>& batch, size_t discarded) override {
    recorder_.record(batch, discarded);
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

  writer.writeMessage(std::string("aaaaa"));                                // 5 bytes
  writer.writeMessage(std::string("bbbbbbbbbb"), LogWriter::NEVER_DISCARD);  // 15: over
  writer.writeMessage(std::string("c"));                                    // dropped
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
