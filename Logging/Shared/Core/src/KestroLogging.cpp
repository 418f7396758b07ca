#include "kestro/logcore.h"

#include <unistd.h>

#include <array>
#include <cstdint>
#include <exception>
#include <mutex>

#include "Logging/Shared/Core/src/ChannelConfig.h"
#include "Logging/Shared/Core/src/ConfigChangedTriggers.h"
#include "Logging/Shared/Core/src/CrashHandler.h"
#include "common/logging/BridgeFromGoogleLogging.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogConfigParser.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"

namespace quorvane::kestro::logging {
namespace {

// Process-wide state. Never destroyed: modules that unload at exit remove
// their triggers from their own destructors, whatever the order in which
// shared libraries are torn down.
struct CoreState {
  std::string userId;  // written only by the application's thread
  ConfigChangedTriggers triggers;
};

CoreState& coreState() {
  static CoreState* const state = new CoreState();
  return *state;
}

// One bridge for the process: a bridge per initialisation would deliver every
// glog message once per bridge.
void installGlogBridge() {
  static std::once_flag once;
  std::call_once(once, [] { new quorvane::BridgeFromGoogleLogging(); });
}

// The core category that a forwarded message's category was last routed to,
// per thread: a forwarded message then costs a pointer and a name comparison
// instead of a lookup by name under the category map's lock. Entries stay
// valid because the core's categories are never destroyed; the name
// comparison tells a category apart from an earlier one that had its address
// (in a module since unloaded, say), so a stale entry is never used.
struct RoutedCategory {
  const LogCategory* foreign = nullptr;
  LogCategory* core = nullptr;
};
constexpr size_t kRoutedCategorySlots = 16;
// Categories are allocated far apart; the low bits of their addresses vary
// least.
constexpr unsigned kRoutedCategoryAddressShift = 6;
thread_local std::array<RoutedCategory, kRoutedCategorySlots> routedCategories;

LogCategory* coreCategoryFor(const LogCategory* foreign) {
  const auto address = reinterpret_cast<uintptr_t>(foreign);
  RoutedCategory& slot =
      routedCategories[(address >> kRoutedCategoryAddressShift) % kRoutedCategorySlots];
  if (slot.foreign == foreign && slot.core->name() == foreign->name()) {
    return slot.core;
  }
  LogCategory* core = LoggerDB::get().categoryFor(foreign->name());
  slot = {foreign, core};
  return core;
}

}  // namespace

void initLogging(std::string logDirectory, std::string fileTag, std::string userId,
                 bool traceEnabled) {
  try {
    LoggerDB& db = LoggerDB::get();
    registerChannelHandlerFactories(db);
    const std::string suffix = logFileSuffix(::getpid(), userId);
    db.applyConfig(channelConfig(logDirectory, fileTag, suffix, traceEnabled));
    installGlogBridge();
    installCrashHandler();
    coreState().userId = std::move(userId);
    coreState().triggers.fire();
  } catch (const std::exception&) {
    // The application has nowhere to report a logging failure; what was done
    // stays done.
  }
}

void deinitLogging() {
  removeCrashHandler();
  flushLogs();
  LoggerDB::get().releaseHandlers();
}

void flushLogs() { LoggerDB::get().flushHandlers(); }

void updateLoggingWithUserId(std::string userId) {
  try {
    CoreState& state = coreState();
    if (userId == state.userId) {
      return;
    }
    LoggerDB& db = LoggerDB::get();
    LogConfig::HandlerConfigMap handlers = db.currentConfig().handlerConfigs();
    const std::string suffix = logFileSuffix(::getpid(), userId);
    for (auto& [name, handlerConfig] : handlers) {
      auto it = handlerConfig.options.find("suffix");
      if (it != handlerConfig.options.end()) {
        it->second = suffix;
      }
    }
    db.applyConfig(LogConfig(std::move(handlers), {}));
    state.userId = std::move(userId);
  } catch (const std::exception&) {
    // As initLogging: nothing to report to.
  }
}

LogConfig getLoggerConfig() { return LoggerDB::get().currentConfig(); }

void handleMessage(const LogMessage& message, const LogCategory* /*handlerCategory*/) {
  LogCategory* category = coreCategoryFor(message.category());
  if (category->isEnabled(message.level())) {
    category->submitMessage(message);
  }
}

void addLogConfigChangedTrigger(void (*trigger)()) { coreState().triggers.add(trigger); }

void removeLogConfigChangedTrigger(void (*trigger)()) { coreState().triggers.remove(trigger); }

dynamic getCompleteMasterLogConfig() { return configToDynamic(LoggerDB::get().completeConfig()); }

void setCompleteMasterLogConfig(dynamic config) {
  LoggerDB::get().replaceConfig(configFromDynamic(config));
  coreState().triggers.fire();
}

}  // namespace quorvane::kestro::logging
