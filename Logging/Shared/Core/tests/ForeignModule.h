#pragma once

// A second shared object with its own copy of the logging framework, as an
// addon is: it keeps its own logger database and hands messages to the core
// library. Its entry points are exported for the boundary test.

#include <cstdint>
#include <string>

#define FOREIGN_MODULE_EXPORT __attribute__((visibility("default")))

namespace foreign_module {

// Sets a category's level in the module's own database.
FOREIGN_MODULE_EXPORT void setLevel(const std::string& category, uint32_t level);
// The effective level of a category in the module's own database.
FOREIGN_MODULE_EXPORT uint32_t effectiveLevel(const std::string& category);
// The module's database, as an opaque address, to compare with others.
FOREIGN_MODULE_EXPORT const void* databaseAddress();
// Builds a message in the module's database and routes it through the core
// library's handleMessage.
FOREIGN_MODULE_EXPORT void logThroughCore(const std::string& category, uint32_t level,
                                          const std::string& text);

}  // namespace foreign_module
