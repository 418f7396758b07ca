// The process database's starting configuration. Own executable: it depends on
// nothing else having configured the process database.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>

#include "common/logging/LogCategory.h"
#include "common/logging/LogConfig.h"
#include "common/logging/LoggerDB.h"

extern char** environ;

namespace quorvane {
namespace {

// Runs `program` and returns what it wrote to standard error.
std::string stderrOf(const char* program) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  pid_t pid = 0;
  char* argv[] = {const_cast<char*>(program), nullptr};
  EXPECT_EQ(posix_spawn(&pid, program, &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  std::string output;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) {
    output.append(buffer, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return output;
}

TEST(DefaultConfigTest, AFreshProcessWritesInfoToStandardErrorInTheGlogLayout) {
  std::string output = stderrOf(DEFAULT_CONFIG_CHILD);
  EXPECT_TRUE(
      std::regex_match(output, std::regex("I[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{6} +[0-9]+ "
                                          "DefaultConfigChild\\.cpp:6\\] visible at INFO\n")))
      << output;
}

TEST(DefaultConfigTest, TheStartingConfigurationIsReported) {
  LoggerDB& db = LoggerDB::get();
  db.categoryFor("made.by.logging");
  LogConfig current = db.currentConfig();
  EXPECT_EQ(
      current.handlerConfigs(),
      (LogConfig::HandlerConfigMap{
          {"default", LogHandlerConfig("stream", {{"stream", "stderr"}, {"async", "false"}})}}));
  LogCategoryConfig root(LogLevel::INFO, false, {"default"});
  EXPECT_EQ(current.categoryConfigs(), (LogConfig::CategoryConfigMap{{"", root}}));

  LogConfig complete = db.completeConfig();
  ASSERT_EQ(complete.categoryConfigs().count("made.by.logging"), 1u);
  EXPECT_EQ(complete.categoryConfigs().at("made.by.logging"),
            LogCategoryConfig(LogLevel::MAX_LEVEL, true, {}));
  EXPECT_EQ(complete.categoryConfigs().at("made"),
            LogCategoryConfig(LogLevel::MAX_LEVEL, true, {}));
}

}  // namespace
}  // namespace quorvane
