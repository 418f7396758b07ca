// The built relauncher program, copied into application trees made here:
// <root>/<main>/Contents/Library/LoginItems/<launcher>/Contents/MacOS/relauncher.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/utilities/testing/ChildProcess.h"
#include "common/utilities/testing/TemporaryDirectory.h"
#include "platform/AppKit/testing/ApplicationRecorder.h"

namespace quorvane::launcher {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::seconds kRunLimit{30};

class RelauncherProgramTest : public ::testing::Test {
 protected:
  // Copies the built program into the launcher bundle inside `mainBundle`
  // and returns the copy's path.
  std::string installLauncher(const std::string& mainBundle, const std::string& launcherBundle) {
    const std::string folder = root_.pathOf(mainBundle + "/Contents/Library/LoginItems/" +
                                            launcherBundle + "/Contents/MacOS");
    fs::create_directories(folder);
    const std::string program = folder + "/relauncher";
    fs::copy_file(KESTRO_RELAUNCHER_PATH, program);
    return program;
  }

  // Runs `program` without arguments, as argv[0] `name`; its exit code, or -1
  // when it did not end in time.
  static int run(const std::string& program, const std::string& name) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      char* const argv[] = {const_cast<char*>(name.c_str()), nullptr};
      ::execv(program.c_str(), argv);
      ::_exit(127);
    }
    return test::exitCodeWithin(pid, kRunLimit);
  }
  static int run(const std::string& program) { return run(program, program); }

  test::TemporaryDirectory root_;
  test::ApplicationRecorder recorder_{root_.pathOf("started")};
};

struct BundleNames {
  std::string label;
  std::string mainBundle;
  std::string program;  // the bundle's name without ".app"
  std::string launcherBundle;
};

class RelauncherNamesTest : public RelauncherProgramTest,
                            public ::testing::WithParamInterface<BundleNames> {};

TEST_P(RelauncherNamesTest, StartsTheMainApplicationOnceWhileItRuns) {
  const BundleNames& names = GetParam();
  const std::string script =
      recorder_.install(root_.pathOf(names.mainBundle), names.program, "main");
  const std::string launcher = installLauncher(names.mainBundle, names.launcherBundle);

  ASSERT_EQ(run(launcher), 0);
  const std::vector<pid_t> first = recorder_.waitForStarts("main", 1);
  ASSERT_EQ(first.size(), 1u);

  // The launcher returns only after the program has started, so the second
  // run sees it and nothing else runs the script afterwards.
  EXPECT_EQ(run(launcher), 0);
  EXPECT_EQ(test::ApplicationRecorder::processesWithArgument(script), first);
  EXPECT_EQ(recorder_.starts("main"), first);
}

INSTANTIATE_TEST_SUITE_P(
    BundleNames, RelauncherNamesTest,
    ::testing::Values(BundleNames{"MainAndLauncher", "Main.app", "Main", "Launcher.app"},
                      BundleNames{"NamesWithSpaces", "Kestro.app", "Kestro",
                                  "Kestro Login Helper.app"},
                      BundleNames{"MainWithoutExtension", "chat", "chat", "relaunch.app"}),
    [](const ::testing::TestParamInfo<BundleNames>& info) { return info.param.label; });

TEST_F(RelauncherProgramTest, TheInfoPlistNamesTheProgramToStart) {
  recorder_.install(root_.pathOf("Main.app"), "Main", "decoy");
  recorder_.install(root_.pathOf("Main.app"), "KestroMain", "named");
  std::ofstream(root_.pathOf("Main.app/Contents/Info.plist"))
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
         "  <key>CFBundleName</key>\n  <string>Main</string>\n"
         "  <!-- the program in Contents/MacOS -->\n"
         "  <key>CFBundleExecutable</key>\n  <string>KestroMain</string>\n</dict>\n</plist>\n";
  const std::string launcher = installLauncher("Main.app", "Launcher.app");

  ASSERT_EQ(run(launcher), 0);
  EXPECT_EQ(recorder_.waitForStarts("named", 1).size(), 1u);
  EXPECT_TRUE(recorder_.starts("decoy").empty());
}

TEST_F(RelauncherProgramTest, FindsItsBundleFromTheKernelNotFromArgv) {
  recorder_.install(root_.pathOf("Main.app"), "Main", "main");
  const std::string launcher = installLauncher("Main.app", "Launcher.app");
  const std::string link = root_.pathOf("elsewhere/Contents/MacOS/relauncher");
  fs::create_directories(fs::path(link).parent_path());
  fs::create_symlink(launcher, link);

  ASSERT_EQ(run(link, "/nowhere/Other.app/Contents/Library/LoginItems/X.app/Contents/MacOS/x"), 0);
  EXPECT_EQ(recorder_.waitForStarts("main", 1).size(), 1u);
}

TEST_F(RelauncherProgramTest, ApplicationsThatCannotStartStillExitZero) {
  // The main bundle holds only the launcher; then an empty Contents/MacOS;
  // then a program without execute permission.
  const std::string launcher = installLauncher("Main.app", "Launcher.app");
  EXPECT_EQ(run(launcher), 0);
  fs::create_directories(root_.pathOf("Main.app/Contents/MacOS"));
  EXPECT_EQ(run(launcher), 0);
  const std::string script = recorder_.install(root_.pathOf("Main.app"), "Main", "main");
  fs::permissions(script, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(run(launcher), 0);
  EXPECT_TRUE(test::ApplicationRecorder::processesWithArgument(script).empty());
  EXPECT_TRUE(recorder_.starts("main").empty());
}

}  // namespace
}  // namespace quorvane::launcher
