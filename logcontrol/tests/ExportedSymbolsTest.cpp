// Node modules export their two entry points and nothing else: read each
// module's dynamic symbol table.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/utilities/testing/ExportedSymbols.h"

namespace {

TEST(NodeModuleExportsTest, ModulesExportOnlyTheirEntryPoints) {
  const std::set<std::string> entryPoints = {"napi_register_module_v1",
                                             "node_api_module_get_api_version_v1"};
  for (const char* module :
       {LOGCONTROL_MODULE, ZANDREL_TEST_MODULE, NOTIFYADDON_MODULE, NOTIFYSIM_MODULE}) {
    EXPECT_EQ(quorvane::test::exportedSymbols(module), entryPoints) << module;
  }
}

}  // namespace
