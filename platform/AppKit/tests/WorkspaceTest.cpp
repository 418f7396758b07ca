#include "platform/AppKit/Workspace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "common/utilities/testing/TemporaryDirectory.h"
#include "platform/AppKit/internal/DetachedSpawn.h"
#include "platform/AppKit/internal/RunningProcesses.h"
#include "platform/AppKit/testing/ApplicationRecorder.h"

namespace quorvane::platform {

void PrintTo(LaunchOutcome outcome, std::ostream* out) {
  static constexpr const char* kNames[] = {"kStarted", "kAlreadyRunning", "kFailed"};
  *out << kNames[static_cast<int>(outcome)];
}

namespace {

namespace fs = std::filesystem;

std::string linkTarget(const std::string& link) {
  std::error_code error;
  return fs::read_symlink(link, error).string();
}

unsigned long long ignoredSignals(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("SigIgn:", 0) == 0) {
      return std::stoull(line.substr(line.find_first_not_of(" \t", 7)), nullptr, 16);
    }
  }
  return ~0ULL;
}

// Bounded polling until the process is gone or a zombie nobody has reaped yet.
bool waitUntilEnded(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string state = test::procStatField(pid, 1);
    if (state.empty() || state == "Z") {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

class WorkspaceTest : public ::testing::Test {
 protected:
  std::string bundlePath() const { return root_.pathOf("Main.app"); }

  test::TemporaryDirectory root_;
  test::ApplicationRecorder recorder_{root_.pathOf("started")};
};

TEST_F(WorkspaceTest, StartsTheProgramDetachedAndOnlyWhenItDoesNotRun) {
  const std::string script = recorder_.install(bundlePath(), "Main", "main");
  const std::string leaked = root_.pathOf("leaked");
  const int leakedFd = ::open(leaked.c_str(), O_WRONLY | O_CREAT, 0600);  // no O_CLOEXEC
  ASSERT_GE(leakedFd, 0);
  ::signal(SIGPIPE, SIG_IGN);

  ASSERT_EQ(launchApplication(bundlePath()), LaunchOutcome::kStarted);
  const std::vector<pid_t> first = recorder_.waitForStarts("main", 1);
  ::close(leakedFd);
  ASSERT_EQ(first.size(), 1u);
  const pid_t app = first[0];

  // Nothing is left for the caller to reap: not the program, not a zombie.
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  const std::string proc = "/proc/" + std::to_string(app);
  EXPECT_EQ(test::procStatField(app, 4), std::to_string(app)) << "session";
  EXPECT_EQ(test::procStatField(app, 3), std::to_string(app)) << "process group";
  for (const char* stream : {"/fd/0", "/fd/1", "/fd/2"}) {
    EXPECT_EQ(linkTarget(proc + stream), "/dev/null") << stream;
  }
  for (const auto& fd : fs::directory_iterator(proc + "/fd")) {
    EXPECT_NE(linkTarget(fd.path().string()), leaked) << fd.path();
  }
  EXPECT_EQ(linkTarget(proc + "/cwd"), "/");
  EXPECT_EQ(ignoredSignals(app) & (1ULL << (SIGPIPE - 1)), 0u);

  EXPECT_EQ(launchApplication(bundlePath()), LaunchOutcome::kAlreadyRunning);
  EXPECT_EQ(launchApplication(bundlePath() + "/"), LaunchOutcome::kAlreadyRunning);
  EXPECT_EQ(test::ApplicationRecorder::processesWithArgument(script), first);

  // Once it has ended it is started anew.
  ASSERT_EQ(::kill(-app, SIGKILL), 0);
  ASSERT_TRUE(waitUntilEnded(app));
  EXPECT_EQ(launchApplication(bundlePath()), LaunchOutcome::kStarted);
  EXPECT_EQ(recorder_.waitForStarts("main", 2).size(), 2u);
}

TEST(RunningProcessesTest, MatchesTheSameFileOfTheSameUser) {
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const auto has = [](const std::vector<pid_t>& pids, pid_t pid) {
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
  };
  EXPECT_TRUE(has(internal::processesRunning(self, ::getuid()), ::getpid()));
  EXPECT_FALSE(has(internal::processesRunning(self, ::getuid() + 1), ::getpid()));

  test::TemporaryDirectory root;
  fs::create_symlink(self, root.pathOf("link"));
  EXPECT_TRUE(has(internal::processesRunning(root.pathOf("link"), ::getuid()), ::getpid()));
  fs::copy_file(self, root.pathOf("copy"));
  EXPECT_FALSE(has(internal::processesRunning(root.pathOf("copy"), ::getuid()), ::getpid()));
  EXPECT_TRUE(internal::processesRunning(root.pathOf("missing"), ::getuid()).empty());
}

TEST_F(WorkspaceTest, ApplicationsThatCannotRunStartNothing) {
  const std::string notExecutable = recorder_.install(root_.pathOf("Plain.app"), "Plain", "plain");
  ::chmod(notExecutable.c_str(), 0644);
  fs::create_directories(root_.pathOf("Folder.app/Contents/MacOS/Folder"));
  fs::create_directories(root_.pathOf("Empty.app/Contents/MacOS"));
  fs::create_directories(root_.pathOf("Garbage.app/Contents/MacOS"));
  const std::string garbage = root_.pathOf("Garbage.app/Contents/MacOS/Garbage");
  std::ofstream(garbage) << "not a program\n";
  ::chmod(garbage.c_str(), 0755);
  std::ofstream(root_.pathOf("File.app")) << "a file, not a bundle\n";

  for (const char* bundle :
       {"Missing.app", "File.app", "Empty.app", "Plain.app", "Folder.app", "Garbage.app"}) {
    EXPECT_EQ(launchApplication(root_.pathOf(bundle)), LaunchOutcome::kFailed) << bundle;
  }
  EXPECT_TRUE(recorder_.starts("plain").empty());

  // The start itself reports why it failed, without the checks in front of it.
  EXPECT_EQ(internal::spawnDetached(root_.pathOf("Missing.app/Contents/MacOS/Missing")), ENOENT);
  EXPECT_EQ(internal::spawnDetached(notExecutable), EACCES);
  EXPECT_EQ(internal::spawnDetached(garbage), ENOEXEC);
  EXPECT_TRUE(recorder_.starts("plain").empty());
}

}  // namespace
}  // namespace quorvane::platform
