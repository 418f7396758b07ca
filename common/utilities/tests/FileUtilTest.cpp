#include "common/utilities/FileUtil.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/uio.h>

#include <cerrno>
#include <string>
#include <vector>

#include "common/utilities/testing/ScopedFileOpsOverride.h"
#include "common/utilities/testing/TemporaryFile.h"

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

// A gather list over `parts` (which must outlive it).
std::vector<struct iovec> gatherList(std::vector<std::string>& parts) {
  std::vector<struct iovec> iov;
  for (std::string& part : parts) {
    iov.push_back({part.data(), part.size()});
  }
  return iov;
}

TEST(FileUtilTest, WritevFullContinuesAtTheExactByteAfterShortWritesAndInterrupts) {
  // Entries of uneven lengths (empty ones included) and a 7-byte cut make
  // writes stop inside entries, at entry boundaries and right before empties.
  std::vector<std::string> parts;
  std::string expected;
  for (int i = 0; i < 40; ++i) {
    parts.push_back(std::string(static_cast<size_t>(i % 11), static_cast<char>('a' + i % 26)));
    expected += parts.back();
  }
  std::vector<struct iovec> iov = gatherList(parts);
  test::TemporaryFile file;
  int fd = file.openForAppend();
  test::ScriptedFileOps ops;
  {
    test::ScopedFileOpsOverride override(ops);
    ops.interruptNext(2);
    ops.limitBytesPerCall(7);
    EXPECT_EQ(writevFull(fd, iov.data(), static_cast<int>(iov.size())),
              static_cast<ssize_t>(expected.size()));
  }
  ::close(fd);
  EXPECT_EQ(file.contents(), expected);
  EXPECT_EQ(ops.writevCalls(), 2 + static_cast<int>((expected.size() + 6) / 7));
  EXPECT_EQ(iov[1].iov_len, 1u) << "the caller's list is left as it was";
}

TEST(FileUtilTest, WritevFullPassesAtMost1024EntriesPerCall) {
  // 1500 empty entries first: a call made of nothing but empties would return
  // 0 and must not be taken for the end of the output.
  std::vector<std::string> parts(1500);
  std::string expected;
  for (int i = 0; i < 2100; ++i) {
    parts.push_back(std::to_string(i) + "\n");
    expected += parts.back();
  }
  std::vector<struct iovec> iov = gatherList(parts);
  test::TemporaryFile file;
  int fd = file.openForAppend();
  test::ScriptedFileOps ops;
  {
    test::ScopedFileOpsOverride override(ops);
    EXPECT_EQ(writevFull(fd, iov.data(), static_cast<int>(iov.size())),
              static_cast<ssize_t>(expected.size()));
  }
  ::close(fd);
  EXPECT_EQ(file.contents(), expected);
  EXPECT_EQ(ops.maxIovecsSeen(), kMaxIovecsPerCall);
  EXPECT_EQ(ops.writevCalls(), 3);  // 1024 + 1024 + 52 entries after the empties
}

TEST(FileUtilTest, WritevFullReportsFailureWithErrno) {
  std::vector<std::string> parts{"a", "b"};
  std::vector<struct iovec> iov = gatherList(parts);
  test::ScriptedFileOps ops;
  test::ScopedFileOpsOverride override(ops);
  ops.failWith(EIO);
  errno = 0;
  EXPECT_EQ(writevFull(1, iov.data(), 2), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(ops.writevCalls(), 1);
}

TEST(FileUtilTest, WritevFullTellsHowFarAFailedWriteGot) {
  std::vector<std::string> parts{"first\n", "second\n", "third\n"};
  std::vector<struct iovec> iov = gatherList(parts);
  test::TemporaryFile file;
  const int fd = file.openForAppend();
  test::ScriptedFileOps ops;
  {
    test::ScopedFileOpsOverride override(ops);
    ops.fillDeviceAfter(9);  // "first\nsec", then ENOSPC
    size_t progress = 99;
    errno = 0;
    EXPECT_EQ(writevFull(fd, iov.data(), 3, &progress), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(progress, 9u);
    ops.fillDeviceAfter(-1);
    EXPECT_EQ(writevFull(fd, iov.data(), 3, &progress), 19);
    EXPECT_EQ(progress, 19u);
  }
  ::close(fd);
  EXPECT_EQ(file.contents(), "first\nsecfirst\nsecond\nthird\n");
}

}  // namespace
}  // namespace quorvane
