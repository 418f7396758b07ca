#include "launcher/Launcher.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace quorvane::launcher {
namespace {

struct Behaviour {
  std::string bundle;
  bool failBundlePath = false;
  bool failLaunch = false;
};

// Answers a fixed bundle path and records launch requests; either call can be
// made to throw.
struct FakePlatform final : LauncherPlatform {
  explicit FakePlatform(Behaviour b) : behaviour(std::move(b)) {}

  std::string bundlePath() override {
    if (behaviour.failBundlePath) {
      throw std::runtime_error("no bundle");
    }
    return behaviour.bundle;
  }
  void launchApplication(const std::string& applicationPath) override {
    launched.push_back(applicationPath);
    if (behaviour.failLaunch) {
      throw std::runtime_error("launch failed");
    }
  }

  Behaviour behaviour;
  std::vector<std::string> launched;
};

TEST(LauncherTest, LaunchesTheMainApplicationAtMostOnceAndAlwaysExitsZero) {
  const std::string installed = "/Applications/Main.app/Contents/Library/LoginItems/Launcher.app";
  const std::vector<std::string> once = {"/Applications/Main.app"};
  const struct {
    Behaviour behaviour;
    std::vector<std::string> launched;
  } kCases[] = {
      {{.bundle = installed}, once},
      {{.bundle = "/Library/LoginItems/Launcher.app"}, {}},
      {{.bundle = "/"}, {}},
      {{.bundle = installed, .failBundlePath = true}, {}},
      {{.bundle = installed, .failLaunch = true}, once},
  };
  for (const auto& c : kCases) {
    FakePlatform platform(c.behaviour);
    EXPECT_EQ(runLauncher(platform), kLauncherExitStatus) << c.behaviour.bundle;
    EXPECT_EQ(platform.launched, c.launched) << c.behaviour.bundle;
  }
}

}  // namespace
}  // namespace quorvane::launcher
