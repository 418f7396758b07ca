#include "common/utilities/FileUtil.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "common/utilities/testing/ScopedFileOpsOverride.h"

namespace quorvane {
namespace {

std::string readAll(int fd) {
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) {
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

TEST(FileUtilTest, WriteFullContinuesAfterInterruptsAndShortWrites) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  test::ScriptedFileOps ops;
  test::ScopedFileOpsOverride override(ops);
  ops.interruptNext(3);
  ops.limitBytesPerCall(5);
  const std::string text = "0123456789abcdefghij";
  EXPECT_EQ(writeFull(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  EXPECT_EQ(ops.writeCalls(), 3 + 4);
  ::close(fds[1]);
  EXPECT_EQ(readAll(fds[0]), text);
  ::close(fds[0]);
}

TEST(FileUtilTest, WriteFullReportsFailureWithErrno) {
  test::ScriptedFileOps ops;
  test::ScopedFileOpsOverride override(ops);
  ops.failWith(ENOSPC);
  errno = 0;
  EXPECT_EQ(writeFull(1, "x", 1), -1);
  EXPECT_EQ(errno, ENOSPC);
}

TEST(FileUtilTest, WriteFullOnAClosedDescriptorFails) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  ::close(fds[1]);
  EXPECT_EQ(writeFull(fds[1], "x", 1), -1);
  EXPECT_EQ(errno, EBADF);
}

}  // namespace
}  // namespace quorvane
