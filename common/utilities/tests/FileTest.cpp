#include "common/utilities/File.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

#include "common/utilities/testing/ScopedFileOpsOverride.h"

namespace quorvane {
namespace {

bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(FileTest, OwnedDescriptorIsClosedOnceAndOnlyByItsLastHolder) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  test::ScriptedFileOps ops;
  test::ScopedFileOpsOverride override(ops);
  {
    File first(fds[0], true);
    File second(std::move(first));
    EXPECT_EQ(first.fd(), -1);
    EXPECT_FALSE(first.ownsFd());
    EXPECT_EQ(second.fd(), fds[0]);
    File third;
    third = std::move(second);
    EXPECT_TRUE(isOpen(fds[0]));
    // Assigning over an owning handle closes its descriptor first.
    third = File(fds[1], true);
    EXPECT_FALSE(isOpen(fds[0]));
    EXPECT_TRUE(isOpen(fds[1]));
  }
  EXPECT_FALSE(isOpen(fds[1]));
  EXPECT_EQ(ops.closeCalls(), 2);
}

TEST(FileTest, BorrowedAndReleasedDescriptorsStayOpen) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  { File borrowed(fds[0]); }
  EXPECT_TRUE(isOpen(fds[0]));
  int released = -1;
  {
    File owner(fds[1], true);
    released = owner.release();
    EXPECT_FALSE(owner);
  }
  EXPECT_EQ(released, fds[1]);
  EXPECT_TRUE(isOpen(fds[1]));
  { File err = File::stdErr(); }
  EXPECT_TRUE(isOpen(2));
  EXPECT_TRUE(File(fds[0], true).close());
  EXPECT_TRUE(File(fds[1], true).close());
  EXPECT_FALSE(isOpen(fds[0]));
}

}  // namespace
}  // namespace quorvane
