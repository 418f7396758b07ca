// Node modules register themselves from a static initialiser and export
// nothing: read each module's dynamic symbol table.

#include <gtest/gtest.h>

#include "common/utilities/testing/ExportedSymbols.h"

namespace {

TEST(NodeModuleExportsTest, ModulesExportNothingOfTheirOwn) {
  for (const char* module :
       {LOGCONTROL_MODULE, ZANDREL_TEST_MODULE, NOTIFYADDON_MODULE, NOTIFYSIM_MODULE}) {
    EXPECT_TRUE(quorvane::test::exportedSymbols(module).empty()) << module;
  }
}

}  // namespace
