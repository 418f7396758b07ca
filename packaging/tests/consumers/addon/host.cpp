// The program that uses logcore and loads the consumer's module (as the host
// loads an addon): the module's WARN line reaches the main file once, and its
// levels follow logcore's configuration when the application replaces it.
// Exit status 0 when every check holds.

#include <dlfcn.h>

#include <iostream>
#include <string>

#include <kestro/logcore.h>

#include "../common/MainLogFile.h"

namespace {

namespace logcore = quorvane::kestro::logging;
using Log = void (*)(const char*);

// The category of the module's statements: its source path relative to the
// project (the module is built with -fmacro-prefix-map).
constexpr char kModuleCategory[] = "src.ConsumerAddon.cpp";

// The running configuration with the root's level and, when given, one more
// category at its own level.
void replaceConfiguration(const char* rootLevel, const char* moduleLevel) {
  quorvane::dynamic config = logcore::getCompleteMasterLogConfig();
  quorvane::dynamic& categories = *config.get_ptr("categories");
  categories.get_ptr("")->insert("level", rootLevel);
  if (moduleLevel != nullptr) {
    categories.insert(kModuleCategory, moduleLevel);
  }
  logcore::setCompleteMasterLogConfig(config);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " <log directory>\n";
    return 2;
  }
  logcore::initLogging(argv[1], "consumer", "u7", /*traceEnabled=*/false);
  void* module = ::dlopen(CONSUMER_ADDON, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::cerr << "loading the module: " << ::dlerror() << "\n";
    return 1;
  }
  const auto warn = reinterpret_cast<Log>(::dlsym(module, "consumerAddonWarn"));
  const auto debug = reinterpret_cast<Log>(::dlsym(module, "consumerAddonDebug"));

  warn("module warning at the channels' levels");
  debug("module debug at the channels' levels");
  replaceConfiguration("ERR", nullptr);
  warn("module warning under a root at ERR");
  replaceConfiguration("INFO", "DBG");
  debug("module debug with its category at DBG");
  logcore::flushLogs();

  const std::string main = consumer::mainLogText(argv[1]);
  bool ok = consumer::appears(main, "module warning at the channels' levels", 1);
  ok = consumer::appears(main, "module debug at the channels' levels", 0) && ok;
  ok = consumer::appears(main, "module warning under a root at ERR", 0) && ok;
  ok = consumer::appears(main, "module debug with its category at DBG", 1) && ok;
  logcore::deinitLogging();
  return ok ? 0 : 1;
}
