// A client set-up that fails while the module loads. This program carries the
// core library's functions itself and exports them, so the module's calls into
// logcore reach this program's logger database, whose configuration the test
// can make unreadable before loading the module.

#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <typeinfo>

#include "Logging/Shared/Client/tests/ClientTestModule.h"
#include "Logging/Shared/Client/tests/ClientTestSupport.h"
#include "Logging/Shared/Core/src/KestroLogging.h"
#include "common/logging/testing/CapturingLogHandler.h"
#include "common/utilities/testing/ScopedFdRedirect.h"

namespace quorvane::kestro::logging {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// A handler whose configuration cannot be read: reporting the running
// configuration (getLoggerConfig) fails while it is attached.
class UnreportableHandler : public test::CapturingLogHandler {
 public:
  LogHandlerConfig getConfig() const override {
    throw std::runtime_error("configuration unavailable");
  }
};

template <typename Function>
Function symbol(void* module, const char* name) {
  return reinterpret_cast<Function>(::dlsym(module, name));
}

TEST(ClientSetupFailureTest, TheModuleLoadsWithoutForwardingAndSaysSo) {
  LogCategory* broken = LoggerDB::get().categoryFor("broken");
  broken->setHandlers({std::make_shared<UnreportableHandler>()});

  void* module = nullptr;
  std::string written;
  {
    test::ScopedFdRedirect standardError(2);
    module = ::dlopen(CLIENT_TEST_MODULE, RTLD_NOW | RTLD_LOCAL);
    written = standardError.contents();
  }
  ASSERT_NE(module, nullptr) << ::dlerror();
  EXPECT_EQ(written, std::string("logging client set-up failed, messages of this module are not "
                                 "forwarded to logcore: ") +
                         typeid(std::runtime_error).name() + ": configuration unavailable\n");
  EXPECT_FALSE(symbol<ClientTestModuleForwards>(module, "clientTestModuleForwards")());

  // The set-up took its trigger away again: a later configuration change in
  // the core does not make the module forward.
  broken->removeAllHandlers();
  test::TemporaryDirectory dir;
  initLogging(dir.path(), "failure", "1", false);
  auto log = symbol<ClientTestModuleLog>(module, "clientTestModuleLog");
  {
    test::ScopedFdRedirect standardError(2);
    log("app.module", toUnderlying(LogLevel::INFO), "logged by the module on its own");
    written = standardError.contents();
  }
  flushLogs();
  // The module still logs, to standard error through its own default handler.
  EXPECT_THAT(written, HasSubstr("logged by the module on its own"));
  EXPECT_EQ(test::occurrences(test::channelText(dir, "kestro"), "logged by the module"), 0u);
  ::dlclose(module);
  deinitLogging();
}

TEST(ClientSetupFailureTest, AWorkingSetUpForwardsIntoThisProgramsCore) {
  // The same arrangement without the fault: the module's calls do reach this
  // program's functions (so the case above tests what it claims).
  auto capture = std::make_shared<test::CapturingLogHandler>();
  LoggerDB::get().categoryFor("")->setHandlers({capture});
  void* module = ::dlopen(CLIENT_TEST_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << ::dlerror();
  EXPECT_TRUE(symbol<ClientTestModuleForwards>(module, "clientTestModuleForwards")());
  symbol<ClientTestModuleLog>(module, "clientTestModuleLog")(
      "app.module", toUnderlying(LogLevel::INFO), "forwarded");
  EXPECT_THAT(capture->texts(), ::testing::ElementsAre("forwarded"));
  ::dlclose(module);
}

}  // namespace
}  // namespace quorvane::kestro::logging
