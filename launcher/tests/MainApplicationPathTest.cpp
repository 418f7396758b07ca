#include "launcher/MainApplicationPath.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorvane::launcher {
namespace {

TEST(MainApplicationPathTest, DropsTheLastFourComponents) {
  const struct {
    std::string launcherBundle;
    std::optional<std::string> mainApplication;
  } kCases[] = {
      {"/Applications/Main.app/Contents/Library/LoginItems/Launcher.app", "/Applications/Main.app"},
      {"/Applications/Kestro.app/Contents/Library/LoginItems/KestroLoginHelper.app",
       "/Applications/Kestro.app"},
      {"/Users/ann/My Apps/Chat Tool.app/Contents/Library/LoginItems/Chat Login.app",
       "/Users/ann/My Apps/Chat Tool.app"},
      {"/Main.app/Contents/Library/LoginItems/Launcher.app", "/Main.app"},
      // Five components: only the root is left.
      {"/Contents/Library/LoginItems/Launcher.app", "/"},
      // Doubled and trailing slashes do not count as components.
      {"//Applications//Main.app/Contents/Library/LoginItems/Launcher.app/",
       "/Applications/Main.app"},
      {"Apps/Main.app/Contents/Library/LoginItems/Launcher.app", "Apps/Main.app"},
      // Four components or fewer: outside an application, nothing to launch.
      {"/Library/LoginItems/Launcher.app", std::nullopt},
      {"/LoginItems/Launcher.app", std::nullopt},
      {"/Launcher.app", std::nullopt},
      {"/", std::nullopt},
      {"", std::nullopt},
      {"Main.app/Contents/Library/LoginItems", std::nullopt},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(mainApplicationPath(c.launcherBundle), c.mainApplication) << c.launcherBundle;
  }
}

TEST(MainApplicationPathTest, ComponentsCountTheLeadingSlashAndJoinBack) {
  using Components = std::vector<std::string>;
  const struct {
    std::string path;
    Components components;
    std::string joined;
  } kCases[] = {
      {"/Applications/Main.app", {"/", "Applications", "Main.app"}, "/Applications/Main.app"},
      {"/a//b/", {"/", "a", "b"}, "/a/b"},
      {"a/b c/d", {"a", "b c", "d"}, "a/b c/d"},
      {"/", {"/"}, "/"},
      {"///", {"/"}, "/"},
      {"", {}, ""},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(pathComponents(c.path), c.components) << c.path;
    EXPECT_EQ(pathWithComponents(c.components), c.joined) << c.path;
  }
}

}  // namespace
}  // namespace quorvane::launcher
