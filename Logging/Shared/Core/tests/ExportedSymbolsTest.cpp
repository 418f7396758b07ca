// liblogcore exports its ten functions and nothing else: read the library's
// dynamic symbol table and compare.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/utilities/testing/ExportedSymbols.h"

namespace {

using quorvane::test::exportedSymbols;

TEST(ExportedSymbolsTest, OnlyTheTenFunctionsAreExported) {
  const std::string str =
      "std::__cxx11::basic_string<char, std::char_traits<char>, "
      "std::allocator<char> >";
  const std::string ns = "quorvane::kestro::logging::";
  std::set<std::string> expected = {
      ns + "initLogging(" + str + ", " + str + ", " + str + ", bool)",
      ns + "deinitLogging()",
      ns + "flushLogs()",
      ns + "updateLoggingWithUserId(" + str + ")",
      ns + "getLoggerConfig()",
      ns + "handleMessage(quorvane::LogMessage const&, quorvane::LogCategory const*)",
      ns + "addLogConfigChangedTrigger(void (*)())",
      ns + "removeLogConfigChangedTrigger(void (*)())",
      ns + "getCompleteMasterLogConfig()",
      ns + "setCompleteMasterLogConfig(quorvane::dynamic)",
  };
  EXPECT_EQ(exportedSymbols(LOGCORE_LIBRARY), expected);
}

}  // namespace
