#pragma once

// A module as an addon is: a shared object with its own copy of the logging
// framework and the logging client, linking liblogcore.so. The tests load it
// with dlopen and find these functions with dlsym.

#include <cstdint>

#define CLIENT_TEST_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

// Logs `text` at `level` to `category` of the module's own database, as a log
// statement there does: only when the category's level admits it.
CLIENT_TEST_MODULE_EXPORT void clientTestModuleLog(const char* category, uint32_t level,
                                                   const char* text);
using ClientTestModuleLog = void (*)(const char*, uint32_t, const char*);

// Whether the module's client set-up completed.
CLIENT_TEST_MODULE_EXPORT bool clientTestModuleForwards();
using ClientTestModuleForwards = bool (*)();
