#include "common/logging/AsyncFileWriter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <typeinfo>
#include <vector>

#include "common/logging/testing/InternalWarningCapture.h"
#include "common/utilities/testing/ScopedFileOpsOverride.h"
#include "common/utilities/testing/TemporaryFile.h"

namespace quorvane {
namespace {

// Lets a test hand a batch over directly. Safe while nothing is logged through
// the writer, since its I/O thread then never calls writeBatch.
class DirectAsyncFileWriter : public AsyncFileWriter {
 public:
  using AsyncFileWriter::AsyncFileWriter;
  // As every subclass must: the I/O thread stops before this class's part of
  // the object goes away.
  ~DirectAsyncFileWriter() override { cleanup(); }
  using AsyncFileWriter::writeBatch;
  void writeBatch(const std::vector<std::string>& messages, size_t discarded) {
    writeBatch(LogBatch(messages), discarded);
  }
};

std::vector<std::string> numberedLines(int count) {
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) {
    lines.push_back("line " + std::to_string(i) + "\n");
  }
  return lines;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) {
    all += line;
  }
  return all;
}

TEST(AsyncFileWriterTest, OverloadWritesTheQueuedMessageThenTheDiscardLine) {
  test::TemporaryFile file;
  test::ScriptedFileOps ops;
  test::ScopedFileOpsOverride override(ops);
  AsyncFileWriter writer(File(file.openForAppend(), true));
  writer.setMaxBufferSize(1);
  ops.holdWrites(true);
  writer.writeMessage(std::string("busy\n"));
  ops.waitForHeldCalls(1);  // the I/O thread is inside writev
  writer.writeMessage(std::string("m1\n"));
  writer.writeMessage(std::string("m2\n"));
  writer.writeMessage(std::string("m3\n"));
  ops.holdWrites(false);
  writer.flush();
  EXPECT_EQ(file.contents(),
            "busy\nm1\n2 log messages discarded: logging faster than we can write\n");
}

TEST(AsyncFileWriterTest, FlushMarkersWriteNothingAndDestructionWritesEverythingBeforeClosing) {
  test::TemporaryFile file;
  test::ScriptedFileOps ops;
  test::ScopedFileOpsOverride override(ops);
  std::vector<std::string> lines = numberedLines(500);
  {
    AsyncFileWriter writer(File(file.openForAppend(), true));
    writer.flush();
    EXPECT_EQ(file.contents(), "");
    EXPECT_EQ(ops.writevCalls(), 0) << "a group of empty markers needs no system call";
    for (const std::string& line : lines) {
      writer.writeMessage(std::string_view(line));
    }
  }
  EXPECT_EQ(file.contents(), joined(lines));
  EXPECT_EQ(ops.closeCalls(), 1);
}

TEST(AsyncFileWriterTest, BatchesGoOutInGroupsOf64ContinuingAfterShortWrites) {
  test::TemporaryFile file;
  test::ScriptedFileOps ops;
  DirectAsyncFileWriter writer(File(file.openForAppend(), true));
  std::vector<std::string> batch = numberedLines(150);
  const std::string expected = joined(batch);
  {
    test::ScopedFileOpsOverride override(ops);
    writer.writeBatch(batch, 0);
  }
  EXPECT_EQ(file.contents(), expected);
  EXPECT_EQ(ops.writevCalls(), 3);  // 64 + 64 + 22
  EXPECT_EQ(ops.maxIovecsSeen(), 64);

  // Cut every call to 5 bytes and interrupt some: each group still goes out
  // whole, in order, from the byte where the last call stopped.
  std::vector<std::string> more = numberedLines(70);
  {
    test::ScopedFileOpsOverride override(ops);
    ops.limitBytesPerCall(5);
    ops.interruptNext(3);
    writer.writeBatch(more, 4);
  }
  EXPECT_EQ(file.contents(), expected + joined(more) +
                                 "4 log messages discarded: logging faster than we can write\n");
}

TEST(AsyncFileWriterTest, AFailedGroupEndsTheBatchWithAWarningAndTheNextBatchIsWritten) {
  test::TemporaryFile file;
  test::ScriptedFileOps ops;
  test::InternalWarningCapture warnings;
  DirectAsyncFileWriter writer(File(file.openForAppend(), true));
  const int fd = writer.file().fd();
  {
    test::ScopedFileOpsOverride override(ops);
    ops.failWith(ENOSPC);
    std::vector<std::string> batch = numberedLines(130);
    EXPECT_NO_THROW(writer.writeBatch(batch, 7));
    EXPECT_EQ(ops.writevCalls(), 1) << "the groups after a failed one are not tried";
    EXPECT_EQ(ops.writeCalls(), 0) << "nor is the discard line";
    ops.failWith(0);
    std::vector<std::string> next{"after\n"};
    writer.writeBatch(next, 0);
  }
  EXPECT_EQ(file.contents(), "after\n");

  auto captured = warnings.warnings();
  ASSERT_EQ(captured.size(), 1u);
  EXPECT_EQ(captured[0].sourceFile, "logging/AsyncFileWriter");
  EXPECT_EQ(captured[0].lineNumber, 95);
  EXPECT_EQ(captured[0].text, "error writing to log file " + std::to_string(fd) +
                                  " in AsyncFileWriter: " + typeid(std::system_error).name() +
                                  ": writevFull() failed: " + std::strerror(ENOSPC));
}

TEST(AsyncFileWriterTest, AClosedDescriptorWarnsAndNeverThrowsAtTheLogger) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  ::close(fds[1]);
  test::InternalWarningCapture warnings;
  {
    AsyncFileWriter writer{File(fds[1])};
    EXPECT_FALSE(writer.writesToTerminal());
    EXPECT_NO_THROW(writer.writeMessage(std::string("lost\n")));
    writer.flush();
  }
  auto captured = warnings.warnings();
  ASSERT_EQ(captured.size(), 1u);
  EXPECT_EQ(captured[0].text, "error writing to log file " + std::to_string(fds[1]) +
                                  " in AsyncFileWriter: " + typeid(std::system_error).name() +
                                  ": writevFull() failed: " + std::strerror(EBADF));
}

}  // namespace
}  // namespace quorvane
