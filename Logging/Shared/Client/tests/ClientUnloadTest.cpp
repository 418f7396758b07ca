// A module that carries the client, loaded and unloaded with dlopen/dlclose
// (and a process that ends with it loaded): nothing stays behind in logcore
// that could call into the module once it is gone.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "Logging/Shared/Client/tests/ClientTestSupport.h"
#include "Logging/Shared/Client/tests/LoadedModule.h"
#include "common/utilities/testing/ChildProcess.h"
#include "kestro/logcore.h"

namespace quorvane::kestro::logging {
namespace {

using test::channelText;
using test::LoadedModule;
using test::occurrences;

TEST(ClientUnloadTest, AnUnloadedModuleLeavesNoTriggerBehind) {
  test::TemporaryDirectory dir;
  {
    LoadedModule module;
    initLogging(dir.path(), "unload", "1", false);
    module.log("app.module", LogLevel::INFO, "forwarded before unloading");
  }
  ASSERT_FALSE(LoadedModule::isLoaded());

  // Both fire logcore's triggers; a trigger left behind would call into memory
  // that no longer holds the module.
  initLogging(dir.path(), "unload", "2", true);
  setCompleteMasterLogConfig(getCompleteMasterLogConfig());

  // Loaded again, the module takes part again.
  LoadedModule again;
  again.log("app.module", LogLevel::INFO, "forwarded after loading again");
  flushLogs();
  const std::string main = channelText(dir, "kestro");
  EXPECT_EQ(occurrences(main, "forwarded before unloading"), 1u) << main;
  EXPECT_EQ(occurrences(main, "forwarded after loading again"), 1u) << main;
  again.unload();
  deinitLogging();
}

TEST(ClientUnloadTest, AForkAfterUnloadingCallsNothingOfTheModule) {
  {
    LoadedModule module;
    module.log("app.module", LogLevel::INFO, "makes the module register its fork handlers");
  }
  ASSERT_FALSE(LoadedModule::isLoaded());
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::_exit(0);
  }
  EXPECT_EQ(test::exitCodeWithin(pid, std::chrono::seconds(10)), 0);
}

// Registered before the module loads, so it runs at exit after the module's
// own exit-time clean-up, as a late configuration change would. A trigger
// left behind would make the module apply its copy with its handler types
// already released, and the change would fail.
void changeTheConfigurationLate() {
  try {
    setCompleteMasterLogConfig(getCompleteMasterLogConfig());
  } catch (const std::exception&) {
    ::_exit(3);
  }
}

TEST(ClientUnloadTest, AnEndingProcessLeavesNoTriggerBehind) {
  test::TemporaryDirectory dir;
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::atexit(&changeTheConfigurationLate);
    static LoadedModule* const module = new LoadedModule();  // loaded until the process ends
    initLogging(dir.path(), "exit", "1", false);
    module->log("app.module", LogLevel::INFO, "logged before exit");
    std::exit(0);
  }
  EXPECT_EQ(test::exitCodeWithin(pid, std::chrono::seconds(30)), 0);
  EXPECT_EQ(occurrences(channelText(dir, "kestro"), "logged before exit"), 1u);
}

}  // namespace
}  // namespace quorvane::kestro::logging
