// A client set-up that fails while the module loads. This program carries the
// core library's functions itself and exports them, so the module's calls into
// logcore reach this program's logger database, whose configuration the test
// can make unreadable before loading the module.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <typeinfo>

#include "Logging/Shared/Client/tests/ClientTestSupport.h"
#include "Logging/Shared/Client/tests/LoadedModule.h"
#include "common/logging/testing/CapturingLogHandler.h"
#include "common/utilities/testing/ScopedFdRedirect.h"
#include "kestro/logcore.h"

namespace quorvane::kestro::logging {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A handler whose configuration cannot be read: reporting the running
// configuration (getLoggerConfig) fails while it is attached.
class UnreportableHandler : public test::CapturingLogHandler {
 public:
  LogHandlerConfig getConfig() const override {
    throw std::runtime_error("configuration unavailable");
  }
};

TEST(ClientSetupFailureTest, TheModuleLoadsWithoutForwardingAndSaysSo) {
  LogCategory* broken = LoggerDB::get().categoryFor("broken");
  broken->setHandlers({std::make_shared<UnreportableHandler>()});

  std::optional<test::LoadedModule> module;
  std::string written;
  {
    test::ScopedFdRedirect standardError(2);
    module.emplace();
    written = standardError.contents();
  }
  EXPECT_EQ(written, std::string("logging client set-up failed, messages of this module are not "
                                 "forwarded to logcore: ") +
                         typeid(std::runtime_error).name() + ": configuration unavailable\n");
  EXPECT_FALSE(module->forwards());

  // The set-up took its trigger away again: a later configuration change in
  // the core does not make the module forward.
  broken->removeAllHandlers();
  test::TemporaryDirectory dir;
  initLogging(dir.path(), "failure", "1", false);
  {
    test::ScopedFdRedirect standardError(2);
    module->log("app.module", LogLevel::INFO, "logged by the module on its own");
    written = standardError.contents();
  }
  flushLogs();
  // The module still logs, to standard error through its own default handler.
  EXPECT_THAT(written, HasSubstr("logged by the module on its own"));
  EXPECT_EQ(test::occurrences(test::channelText(dir, "kestro"), "logged by the module"), 0u);
  module.reset();
  deinitLogging();
}

TEST(ClientSetupFailureTest, AWorkingSetUpForwardsIntoThisProgramsCore) {
  // The same arrangement without the fault: the module's calls do reach this
  // program's functions (so the case above tests what it claims).
  auto capture = std::make_shared<test::CapturingLogHandler>();
  LoggerDB::get().categoryFor("")->setHandlers({capture});
  test::LoadedModule module;
  EXPECT_TRUE(module.forwards());
  module.log("app.module", LogLevel::INFO, "forwarded");
  EXPECT_THAT(capture->texts(), ElementsAre("forwarded"));
}

}  // namespace
}  // namespace quorvane::kestro::logging
