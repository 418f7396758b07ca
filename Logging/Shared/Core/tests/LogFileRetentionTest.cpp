#include "Logging/Shared/Core/src/LogFileRetention.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/logging/testing/InternalWarningCapture.h"
#include "common/utilities/testing/ScopedFileOpsOverride.h"
#include "common/utilities/testing/TemporaryDirectory.h"

namespace quorvane::kestro::logging {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::SizeIs;

// Process ids above the system's limit: never running.
constexpr const char* kGone = "999999991";

std::string fileName(const std::string& stamp, const std::string& pid = kGone,
                     const std::string& user = "77") {
  return "kestro-main-d" + stamp + "-p" + pid + "-id" + user + ".log";
}

// Neighbours of the channel's names, each one character away: never touched.
const std::vector<std::string>& neighbours() {
  static const std::vector<std::string> names = {
      "kestro-mainx-d20240101-t000000-p999999991-id77.log",
      "kestro-mai-d20240101-t000000-p999999991-id77.log",
      "qsyn-main-d20240101-t000000-p999999991-id77.log",
      "kestro-main-d2024010-t000000-p999999991-id77.log",
      "kestro-main-d20240101-x000000-p999999991-id77.log",
      "kestro-main-d20240101-t000000-q999999991-id77.log",
      "kestro-main-d20240101-t000000-p999999991-ix77.log",
      "kestro-main-d20240101-t000000-p999999991-id77.logs",
      "kestro-main-d20240101-t000000-p999999991-id77.lo",
      "kestro-main-d20240101-t000000-p-id77.log",
      "notes.txt",
  };
  return names;
}

class LogFileRetentionTest : public ::testing::Test {
 protected:
  LogFileRetention retention(RetentionLimits limits, const std::string& suffix = "-p42-id77.log") {
    return LogFileRetention(dir_.path() + "/kestro-main-", suffix, limits);
  }
  void create(const std::string& name, size_t bytes = 10) {
    std::ofstream(dir_.pathOf(name)) << std::string(bytes, 'x');
  }
  void createNeighbours() {
    for (const std::string& name : neighbours()) {
      create(name);
    }
  }

  test::TemporaryDirectory dir_;
};

TEST_F(LogFileRetentionTest, NamesOfTheChannelWithAnyProcessAndUserIdMatchAndNoNeighbour) {
  const LogFileRetention withIds = retention({});
  struct Case {
    std::string name;
    pid_t pid;
  };
  for (const Case& c : std::vector<Case>{
           {"kestro-main-d20240312-t140509-p4242-id77.log", 4242},
           {"kestro-main-d20240312-t140509-p1-id.log", 1},
           {"kestro-main-d20240312-t140509-p7-idalice.smith.log", 7},
       }) {
    const auto parts = withIds.match(c.name);
    ASSERT_TRUE(parts.has_value()) << c.name;
    EXPECT_EQ(parts->stamp, "20240312-t140509");
    EXPECT_EQ(parts->pid, c.pid);
  }
  for (const std::string& name : neighbours()) {
    EXPECT_FALSE(withIds.match(name).has_value()) << name;
  }

  // A suffix without a process id: also the form of a forked child's files.
  const LogFileRetention plain = retention({}, ".log");
  EXPECT_EQ(plain.match("kestro-main-d20240312-t140509.log")->pid, 0);
  EXPECT_EQ(plain.match("kestro-main-d20240312-t140509-p5.log")->pid, 5);
  EXPECT_FALSE(plain.match("kestro-main-d20240312-t140509-p5-id1.log").has_value());
  EXPECT_FALSE(plain.match("kestro-main-d20240312-t140509.logx").has_value());
  EXPECT_EQ(LogFileRetention("kestro-", ".log", {}).directory(), ".");
}

TEST_F(LogFileRetentionTest, TheOldestGoFirstUntilCountAndSizeAreWithinTheLimits) {
  struct Case {
    RetentionLimits limits;
    std::vector<size_t> kept;
  };
  const std::vector<std::string> stamps = {"20240101-t000000", "20240101-t000001",
                                           "20240102-t000000", "20241231-t235959",
                                           "20250101-t000000"};
  // Users and processes differ: all are the channel's. Sizes 10, 20, 30, 40
  // and 50 bytes from the oldest to the newest.
  auto nameOf = [&](size_t i) {
    return fileName(stamps[i], "99999999" + std::to_string(i), std::to_string(i));
  };
  for (const Case& c : std::vector<Case>{
           {{3, std::nullopt}, {2, 3, 4}},
           {{std::nullopt, 90}, {3, 4}},
           {{std::nullopt, 89}, {4}},
           {{4, 120}, {2, 3, 4}},
           {{5, 150}, {0, 1, 2, 3, 4}},
           {{}, {0, 1, 2, 3, 4}},
       }) {
    for (const std::string& name : dir_.fileNames()) {
      std::filesystem::remove(dir_.pathOf(name));
    }
    createNeighbours();
    for (size_t i = 0; i < stamps.size(); ++i) {
      create(nameOf(i), 10 * (i + 1));
    }
    retention(c.limits).apply();
    std::vector<std::string> expected = neighbours();
    for (size_t i : c.kept) {
      expected.push_back(nameOf(i));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_THAT(dir_.fileNames(), ElementsAreArray(expected));
  }
}

TEST_F(LogFileRetentionTest, TheNewestFileOfARunningProcessAndOpenFilesStay) {
  const std::string self = std::to_string(::getpid());
  create(fileName("20240101-t000000", self));  // oldest of all: this process's newest
  create(fileName("20230101-t000000", self));  // an older one of this process
  create(fileName("20240201-t000000"));        // held open by a writer
  create(fileName("20240301-t000000"));
  create(fileName("20240401-t000000"));
  const int held = ::open(dir_.pathOf(fileName("20240201-t000000")).c_str(), O_WRONLY | O_APPEND);
  ASSERT_EQ(::flock(held, LOCK_SH), 0);

  retention({1, std::nullopt}).apply();
  ::close(held);
  EXPECT_THAT(dir_.fileNames(),
              ElementsAre(fileName("20240101-t000000", self), fileName("20240201-t000000")));
}

TEST_F(LogFileRetentionTest, OnlyRegularFilesAreDeleted) {
  std::filesystem::create_directory(dir_.pathOf(fileName("20240101-t000000")));
  create("target");
  std::filesystem::create_symlink(dir_.pathOf("target"), dir_.pathOf(fileName("20240102-t000000")));
  create(fileName("20240103-t000000"));
  create(fileName("20240104-t000000"));
  retention({1, std::nullopt}).apply();
  EXPECT_THAT(dir_.fileNames(), ElementsAre(fileName("20240101-t000000"),
                                            fileName("20240102-t000000"),
                                            fileName("20240104-t000000"), "target"));
}

// Removal fails as on a read-only file system.
class FailingUnlink : public FileOps {
 public:
  int unlink(const char*) override {
    errno = EROFS;
    return -1;
  }
};

TEST_F(LogFileRetentionTest, FailuresAreInternalWarningsAndThePassGoesOn) {
  create(fileName("20240101-t000000"));
  create(fileName("20240102-t000000"));
  create(fileName("20240103-t000000"));
  test::InternalWarningCapture warnings;
  {
    FailingUnlink ops;
    test::ScopedFileOpsOverride failing(ops);
    retention({1, std::nullopt}).apply();
  }
  std::vector<test::CapturedWarning> captured = warnings.warnings();
  // Each file over the limit is tried, the newest included.
  ASSERT_THAT(captured, SizeIs(3));
  EXPECT_EQ(captured[0].text, "error deleting log file " + dir_.pathOf(fileName("20240101-t000000")) +
                                  " in RotatingFileLogWriter: " + std::strerror(EROFS));
  EXPECT_EQ(captured[0].sourceFile, "Logging/Shared/Core/src/LogFileRetention");
  EXPECT_THAT(dir_.fileNames(), SizeIs(3));

  LogFileRetention(dir_.pathOf("missing") + "/kestro-main-", ".log", {1, std::nullopt}).apply();
  ASSERT_EQ(warnings.count(), 4u);
  EXPECT_EQ(warnings.warnings()[3].text, "error reading log directory " + dir_.pathOf("missing") +
                                             " in RotatingFileLogWriter: " +
                                             std::strerror(ENOENT));
}

}  // namespace
}  // namespace quorvane::kestro::logging
