#include "platform/Foundation/Bundle.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "common/utilities/testing/TemporaryDirectory.h"

namespace quorvane::platform {
namespace {

namespace fs = std::filesystem;

TEST(BundleTest, TheBundleOfAProgramIsAboveContentsMacOSOrItsFolder) {
  const struct {
    std::string executable;
    std::string bundle;
  } kCases[] = {
      {"/Applications/Main.app/Contents/Library/LoginItems/Launcher.app/Contents/MacOS/relauncher",
       "/Applications/Main.app/Contents/Library/LoginItems/Launcher.app"},
      {"/Apps/My Tool.app/Contents/MacOS/My Tool", "/Apps/My Tool.app"},
      {"/Contents/MacOS/relauncher", "/"},
      {"/opt/kestro/bin/relauncher", "/opt/kestro/bin"},
      {"/opt/xContents/MacOS/relauncher", "/opt/xContents/MacOS"},
      {"/Main.app/Contents/relauncher", "/Main.app/Contents"},
      {"/relauncher", "/"},
      {"relauncher", "."},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Bundle::forExecutable(c.executable).bundlePath(), c.bundle) << c.executable;
  }
}

class BundleExecutableTest : public ::testing::Test {
 protected:
  // Makes the bundle folder with Contents/MacOS/ and returns its path.
  std::string makeBundle(const std::string& name) {
    const std::string path = root_.pathOf(name);
    fs::create_directories(path + "/Contents/MacOS");
    return path;
  }
  void writeInfoPlist(const std::string& bundle, const std::string& text) {
    std::ofstream(bundle + "/Contents/Info.plist", std::ios::binary) << text;
  }
  static std::string namingPlist(const std::string& executable) {
    return "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
           "<key>CFBundleExecutable</key><string>" +
           executable + "</string></dict></plist>";
  }

  test::TemporaryDirectory root_;
};

// CFBundleExecutable names the program; without a usable name the bundle's
// name without ".app" does.
TEST_F(BundleExecutableTest, TheInfoPlistOrTheBundleNameNamesTheProgram) {
  const struct {
    const char* bundleName;
    std::optional<std::string> infoPlist;  // nullopt: no Info.plist at all
    const char* program;
  } kCases[] = {
      {"Named.app", namingPlist("KestroMain"), "KestroMain"},
      {"Main.app", std::nullopt, "Main"},
      {"Chat Tool.app", std::nullopt, "Chat Tool"},
      {"plain", std::nullopt, "plain"},
      {"Binary.app", std::string("bplist00\x01\x02"), "Binary"},
      {"Broken.app", std::string("<plist><dict><key>CFBundleExecutable</key>"), "Broken"},
      {"Empty.app", namingPlist(""), "Empty"},
      {"Escape.app", namingPlist("../../../../bin/sh"), "Escape"},
      {"Dots.app", namingPlist(".."), "Dots"},
      {"Slash.app", namingPlist("MacOS/Main"), "Slash"},
      {"Large.app", std::string(kMaxInfoPlistBytes + 1, ' ') + namingPlist("Big"), "Large"},
  };
  for (const auto& c : kCases) {
    const std::string bundle = makeBundle(c.bundleName);
    if (c.infoPlist) {
      writeInfoPlist(bundle, *c.infoPlist);
    }
    EXPECT_EQ(Bundle(bundle).executablePath(), bundle + "/Contents/MacOS/" + c.program)
        << c.bundleName;
  }
}

TEST_F(BundleExecutableTest, UnreadableInfoPlistsCountAsMissing) {
  // A FIFO in place of the list must not block the reader.
  const std::string fifoBundle = makeBundle("Fifo.app");
  ASSERT_EQ(::mkfifo((fifoBundle + "/Contents/Info.plist").c_str(), 0600), 0);
  EXPECT_EQ(Bundle(fifoBundle).executablePath(), fifoBundle + "/Contents/MacOS/Fifo");

  const std::string folderBundle = makeBundle("Folder.app");
  fs::create_directories(folderBundle + "/Contents/Info.plist");
  EXPECT_EQ(Bundle(folderBundle).infoString("CFBundleExecutable"), std::nullopt);
  EXPECT_EQ(Bundle(folderBundle).executablePath(), folderBundle + "/Contents/MacOS/Folder");
}

TEST(BundleTest, NoProgramNameCanBeFormedForTheRootOrABareExtension) {
  EXPECT_EQ(Bundle("/").executablePath(), std::nullopt);
  EXPECT_EQ(Bundle("/Applications/.app/").executablePath(), std::nullopt);
}

}  // namespace
}  // namespace quorvane::platform
