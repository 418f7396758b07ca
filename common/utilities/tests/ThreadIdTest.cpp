#include "common/utilities/ThreadId.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace quorvane {
namespace {

uint64_t kernelThreadId() { return static_cast<uint64_t>(::syscall(SYS_gettid)); }

TEST(ThreadIdTest, IsTheKernelIdOfTheCallingThread) {
  EXPECT_EQ(getOSThreadID(), kernelThreadId());
  uint64_t inThread = 0;
  uint64_t kernelInThread = 0;
  std::thread([&] {
    inThread = getOSThreadID();
    kernelInThread = kernelThreadId();
  }).join();
  EXPECT_EQ(inThread, kernelInThread);
  EXPECT_NE(inThread, getOSThreadID());
}

TEST(ThreadIdTest, AForkedChildSeesItsOwnId) {
  const uint64_t parentId = getOSThreadID();
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    bool ok = getOSThreadID() == kernelThreadId() && getOSThreadID() != parentId;
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace quorvane
