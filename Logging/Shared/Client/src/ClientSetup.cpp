#include "Logging/Shared/Client/src/ClientSetup.h"

#include <string.h>
#include <sys/uio.h>

#include <exception>
#include <memory>
#include <typeinfo>

#include "Logging/Shared/Client/src/ForwardingLogHandlerFactory.h"
#include "Logging/Shared/Client/src/MirrorCoreConfig.h"
#include "Logging/Shared/Client/src/internal/TraceEvent.h"
#include "common/logging/LoggerDB.h"
#include "common/utilities/FileUtil.h"
#include "kestro/logcore.h"

namespace quorvane::kestro::logging {
namespace {

constexpr char kSetUpFailed[] =
    "logging client set-up failed, messages of this module are not forwarded to logcore: ";
constexpr int kStandardError = 2;

iovec piece(const char* text) { return {const_cast<char*>(text), ::strlen(text)}; }

// Writes the failure line without allocating: the error may be bad_alloc.
void reportSetUpFailure(const char* typeName, const char* message) noexcept {
  const iovec line[] = {piece(kSetUpFailed), piece(typeName), piece(": "), piece(message),
                        piece("\n")};
  writevFull(kStandardError, line, static_cast<int>(std::size(line)));
}

void removeTriggerQuietly() noexcept {
  try {
    removeLogConfigChangedTrigger(&mirrorCoreConfig);
  } catch (...) {
    // Only a failing lock can throw here, and there is no one to tell.
  }
}

// Removes the trigger when destroyed (module unload or process exit).
struct TriggerRemoval {
  ~TriggerRemoval() { removeTriggerQuietly(); }
};

void setUpSteps(bool& triggerAdded) {
  LoggerDB& db = LoggerDB::get();
  internal::attachTraceCategory(db);
  db.addHandlerFactory(std::make_unique<ForwardingLogHandlerFactory>(),
                       /*replaceExisting=*/true);
  addLogConfigChangedTrigger(&mirrorCoreConfig);
  triggerAdded = true;
  mirrorCoreConfig();
  // Registered after the database's own exit hook, so it runs before it: the
  // trigger goes while the database can still apply a configuration.
  static TriggerRemoval removal;
}

bool setUpClient() noexcept {
  bool triggerAdded = false;
  try {
    setUpSteps(triggerAdded);
    return true;
  } catch (const std::exception& ex) {
    reportSetUpFailure(typeid(ex).name(), ex.what());
  } catch (...) {
    reportSetUpFailure("unknown exception", "not derived from std::exception");
  }
  if (triggerAdded) {
    removeTriggerQuietly();
  }
  return false;
}

const bool forwardsToCore = setUpClient();

}  // namespace

bool clientForwardsToCore() { return forwardsToCore; }

}  // namespace quorvane::kestro::logging
