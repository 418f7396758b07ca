// libusernotifications exports its public interface and nothing else: read
// the library's dynamic symbol table.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "common/utilities/testing/ExportedSymbols.h"

namespace {

using quorvane::test::exportedSymbols;

constexpr std::string_view kNamespace = "quorvane::platform::notifications::";

bool isPublic(const std::string& symbol) {
  for (std::string_view prefix : {"", "vtable for ", "typeinfo for ", "typeinfo name for "}) {
    if (symbol.starts_with(std::string(prefix) + std::string(kNamespace))) {
      return symbol.find("::internal::") == std::string::npos;
    }
  }
  return false;
}

bool exportsOneStartingWith(const std::set<std::string>& symbols, const std::string& start) {
  const auto next = symbols.lower_bound(start);
  return next != symbols.end() && next->starts_with(start);
}

TEST(ExportedSymbolsTest, OnlyThePublicInterfaceIsExported) {
  const std::set<std::string> symbols = exportedSymbols(USERNOTIFICATIONS_LIBRARY);
  for (const std::string& symbol : symbols) {
    EXPECT_TRUE(isPublic(symbol)) << symbol;
  }
}

TEST(ExportedSymbolsTest, TheEntryPointsAreExported) {
  const std::set<std::string> symbols = exportedSymbols(USERNOTIFICATIONS_LIBRARY);
  const std::string ns(kNamespace);
  const std::string entryPoints[] = {
      ns + "currentNotificationCenter()",
      ns + "setCurrentNotificationCenter(",
      ns + "installSimulatedNotificationCenter()",
      ns + "parseOperatingSystemVersion(",
      ns + "currentOperatingSystemVersion()",
      ns + "isOperatingSystemAtLeastVersion(",
      ns + "notificationsNotAllowedError()",
      ns + "PlatformError::domainCodeDescription",
      ns + "PlatformError::objectDescription",
      ns + "NotificationCenter::~NotificationCenter()",
      ns + "NotificationCenterDelegate::~NotificationCenterDelegate()",
      ns + "SimulatedNotificationCenter::SimulatedNotificationCenter(",
      ns + "SimulatedNotificationCenter::shared()",
      ns + "SimulatedNotificationCenter::configure(",
      ns + "SimulatedNotificationCenter::respondMany(",
      ns + "DbusNotificationCenter::DbusNotificationCenter(",
      ns + "DbusNotificationCenter::shared()",
      ns + "DbusNotificationCenter::waitUntilIdle()",
      "typeinfo for " + ns + "NotificationCenterDelegate",
      "typeinfo for " + ns + "NotificationCenter",
      "vtable for " + ns + "SimulatedNotificationCenter",
      "vtable for " + ns + "DbusNotificationCenter",
  };
  for (const std::string& entryPoint : entryPoints) {
    EXPECT_TRUE(exportsOneStartingWith(symbols, entryPoint)) << entryPoint;
  }
}

}  // namespace
