#include "common/logging/ImmediateFileWriter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "common/logging/testing/InternalWarningCapture.h"
#include "common/utilities/testing/ScopedFileOpsOverride.h"
#include "common/utilities/testing/TemporaryFile.h"

namespace quorvane {
namespace {

TEST(ImmediateFileWriterTest, WritesEachMessageWholeThroughInterruptsAndShortWrites) {
  test::TemporaryFile file;
  test::ScriptedFileOps ops;
  {
    test::ScopedFileOpsOverride override(ops);
    ImmediateFileWriter writer(File(file.openForAppend(), true));
    EXPECT_FALSE(writer.writesToTerminal());
    ops.interruptNext(1);
    ops.limitBytesPerCall(3);
    writer.writeMessage(std::string_view("first line\n"));
    writer.writeMessage(std::string("second line\n"), LogWriter::NEVER_DISCARD);
    writer.flush();
  }
  EXPECT_EQ(file.contents(), "first line\nsecond line\n");
  EXPECT_EQ(ops.closeCalls(), 1);  // owned: closed with the writer
}

TEST(ImmediateFileWriterTest, AFailedWriteBecomesAWarningNamingTheDescriptor) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  ::close(fds[1]);
  test::InternalWarningCapture warnings;
  ImmediateFileWriter writer{File(fds[1])};
  EXPECT_NO_THROW(writer.writeMessage(std::string("lost\n")));

  auto captured = warnings.warnings();
  ASSERT_EQ(captured.size(), 1u);
  EXPECT_EQ(captured[0].sourceFile, "logging/ImmediateFileWriter");
  EXPECT_EQ(captured[0].lineNumber, 43);
  EXPECT_EQ(captured[0].text,
            "error writing to log file " + std::to_string(fds[1]) + ": " + std::strerror(EBADF));
}

}  // namespace
}  // namespace quorvane
