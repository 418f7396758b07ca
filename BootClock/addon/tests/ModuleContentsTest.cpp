// bootclock.node exports nothing of its own (it registers itself from a static
// initialiser) and carries scope tracing and the rejection, but neither the
// scheduler onto the JavaScript thread nor flow tracing.

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

TEST(BootClockModuleTest, ExportsNothingOfItsOwn) {
  EXPECT_TRUE(quorvane::test::exportedSymbols(BOOTCLOCK_MODULE).empty());
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
