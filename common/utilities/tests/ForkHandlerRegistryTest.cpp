#include "common/utilities/ForkHandlerRegistry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace quorvane {
namespace {

// Forks; the child exits with 0 when its `log` equals `childExpected`, else 1.
// Returns the child's exit status.
int forkAndCheckChild(const std::string& log, const std::string& childExpected) {
  pid_t pid = ::fork();
  if (pid == 0) {
    ::_exit(log == childExpected ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Registers an entry that appends "<p|a|c><name> " to `log` as its prepare,
// parent and child callbacks run. `refusals` prepare calls return false first.
void registerLogging(const void* key, std::string& log, char name, int refusals = 0) {
  ForkHandlerRegistry::registerForkHandlers(
      key,
      [&log, name, refusals]() mutable {
        log += std::string("p") + name + " ";
        return refusals-- <= 0;
      },
      [&log, name] { log += std::string("a") + name + " "; },
      [&log, name] { log += std::string("c") + name + " "; });
}

TEST(ForkHandlerRegistryTest, PreparesNewestFirstResumesOldestFirstAndRetriesRefusals) {
  std::string log;
  int a = 0, b = 0, c = 0;
  registerLogging(&a, log, 'A');
  registerLogging(&b, log, 'B', 1);
  registerLogging(&c, log, 'C');

  // B refuses once: C, already prepared, is resumed and preparation restarts.
  const std::string prepared = "pC pB aC pC pB pA ";
  EXPECT_EQ(forkAndCheckChild(log, prepared + "cA cB cC "), 0);
  EXPECT_EQ(log, prepared + "aA aB aC ");

  for (const void* key :
       {static_cast<const void*>(&a), static_cast<const void*>(&b), static_cast<const void*>(&c)}) {
    ForkHandlerRegistry::unregisterForkHandlers(key);
  }
  EXPECT_EQ(ForkHandlerRegistry::handlerCount(), 0u);
}

TEST(ForkHandlerRegistryTest, UnregisterRemovesTheOldestEntryOfItsKeyOnly) {
  std::string log;
  int key = 0, other = 0;
  registerLogging(&key, log, '1');
  registerLogging(&other, log, '2');
  registerLogging(&key, log, '3');
  ForkHandlerRegistry::unregisterForkHandlers(nullptr);
  ForkHandlerRegistry::unregisterForkHandlers(&log);  // never registered
  EXPECT_EQ(ForkHandlerRegistry::handlerCount(), 3u);

  ForkHandlerRegistry::unregisterForkHandlers(&key);
  EXPECT_EQ(ForkHandlerRegistry::handlerCount(), 2u);
  EXPECT_EQ(forkAndCheckChild(log, "p3 p2 c2 c3 "), 0);
  EXPECT_EQ(log, "p3 p2 a2 a3 ");

  ForkHandlerRegistry::unregisterForkHandlers(&key);
  ForkHandlerRegistry::unregisterForkHandlers(&other);
  EXPECT_EQ(ForkHandlerRegistry::handlerCount(), 0u);
}

}  // namespace
}  // namespace quorvane
