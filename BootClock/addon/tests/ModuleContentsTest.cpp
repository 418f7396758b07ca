// bootclock.node exports only its two entry points and carries scope tracing and the rejection, but
// neither the scheduler onto the JavaScript thread nor flow tracing.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/utilities/testing/ExportedSymbols.h"

namespace {

bool anyContains(const std::set<std::string>& symbols, const std::string& piece) {
  for (const std::string& symbol : symbols) {
    if (symbol.find(piece) != std::string::npos) {
      return true;
    }
  }
  return false;
}

TEST(BootClockModuleTest, ExportsOnlyItsEntryPoints) {
  EXPECT_EQ(
      quorvane::test::exportedSymbols(BOOTCLOCK_MODULE),
      (std::set<std::string>{"napi_register_module_v1", "node_api_module_get_api_version_v1"}));
}

TEST(BootClockModuleTest, CarriesScopeTracingAndTheRejectionButNoScheduler) {
  const std::set<std::string> symbols = quorvane::test::definedSymbols(BOOTCLOCK_MODULE);
  // Present: without them the absences below would prove nothing (a stripped
  // image has no symbol table).
  for (const char* carried : {"bootclock::getProcessStartDate", "napi::rejectWithMessage",
                              "logging::SyncTracing::", "js::Error::Error"}) {
    EXPECT_TRUE(anyContains(symbols, carried)) << carried;
  }
  for (const char* absent :
       {"setupEnvironmentForCallbacks", "runQueuedWork", "scheduleAsyncWork", "asyncForEnv",
        "ExecutorInCurrentLoop", "CallbackEnvironment", "FlowTracing"}) {
    EXPECT_FALSE(anyContains(symbols, absent)) << absent;
  }
}

}  // namespace
