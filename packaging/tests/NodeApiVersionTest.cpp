// The Node modules of the npm package answer the host, from
// node_api_module_get_api_version_v1, the Node-API version that the package
// declares in js/package.json ("binary": {"napi_versions": [N]}) and that its
// loader asks of the host: every Node.js or Electron offering it loads them.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "tools/json/Json.h"

namespace {

int64_t declaredNodeApiVersion() {
  std::ifstream in(KESTRO_PACKAGE_JSON);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const quorvane::dynamic manifest = quorvane::parseJson(text);
  return manifest.get_ptr("binary")->get_ptr("napi_versions")->at(0).getInt();
}

TEST(NodeApiVersionTest, EveryModuleAnswersTheVersionThePackageDeclares) {
  const int64_t declared = declaredNodeApiVersion();
  std::istringstream modules(KESTRO_NPM_MODULE_FILES);
  int count = 0;
  for (std::string file; std::getline(modules, file, '|'); ++count) {
    // Lazily bound: the host's functions, which only node provides, stay
    // unresolved; the version function calls none of them.
    void* module = ::dlopen(file.c_str(), RTLD_LAZY | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << ::dlerror();
    using Version = int32_t (*)();
    const auto version =
        reinterpret_cast<Version>(::dlsym(module, "node_api_module_get_api_version_v1"));
    ASSERT_NE(version, nullptr) << file;
    EXPECT_EQ(version(), declared) << file;
  }
  EXPECT_EQ(count, 4);
}

}  // namespace
