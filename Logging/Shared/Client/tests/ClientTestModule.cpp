#include "Logging/Shared/Client/tests/ClientTestModule.h"

#include <string>

#include "Logging/Shared/Client/src/ClientSetup.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"

void clientTestModuleLog(const char* category, uint32_t level, const char* text) {
  quorvane::LogCategory* c = quorvane::LoggerDB::get().categoryFor(category);
  const auto messageLevel = static_cast<quorvane::LogLevel>(level);
  if (c->isEnabled(messageLevel)) {
    quorvane::LogMessage message(c, messageLevel, __FILE__, __LINE__, __func__, std::string(text));
    c->submitMessage(message);
  }
}

bool clientTestModuleForwards() { return quorvane::kestro::logging::clientForwardsToCore(); }
