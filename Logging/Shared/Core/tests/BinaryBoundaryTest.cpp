// The core library and another module each carry their own copy of the
// framework: their databases stay distinct, and a message built in the other
// module is routed into the core library's files.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Logging/Shared/Core/tests/ForeignModule.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LoggerDB.h"
#include "common/utilities/testing/TemporaryDirectory.h"
#include "kestro/logcore.h"

namespace quorvane::kestro::logging {
namespace {

using ::testing::HasSubstr;

TEST(BinaryBoundaryTest, EachModuleHasItsOwnDatabase) {
  EXPECT_NE(foreign_module::databaseAddress(), static_cast<const void*>(&LoggerDB::get()));
  foreign_module::setLevel("shared.name", toUnderlying(LogLevel::ERR));
  EXPECT_EQ(foreign_module::effectiveLevel("shared.name"), toUnderlying(LogLevel::ERR));
  EXPECT_EQ(LoggerDB::get().categoryFor("shared.name")->effectiveLevel(), LogLevel::INFO);
  // The core library does not know the category either.
  EXPECT_EQ(getLoggerConfig().categoryConfigs().count("shared.name"), 0u);
}

TEST(BinaryBoundaryTest, AForeignMessageIsRoutedIntoTheCoreFiles) {
  test::TemporaryDirectory dir;
  initLogging(dir.path(), "boundary", "1", false);
  foreign_module::setLevel("qsyn.Foreign", toUnderlying(LogLevel::DBG));
  foreign_module::logThroughCore("qsyn.Foreign", toUnderlying(LogLevel::DBG), "from the addon");
  flushLogs();
  auto files = dir.fileNamesStartingWith("qsyn-boundary-");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_THAT(dir.contentsOf(files[0]),
              HasSubstr("(src/foreign/Addon.cpp): [U:F:] from the addon\n"));
  deinitLogging();
}

}  // namespace
}  // namespace quorvane::kestro::logging
