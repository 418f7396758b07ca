// A module of the application's own that logs through the framework copy and
// the logging client it carries (Kestro::client): its statements follow
// logcore's levels and reach logcore's files. It exports its two functions.

#include <kestro/log.h>

#define CONSUMER_ADDON_EXPORT extern "C" __attribute__((visibility("default")))

CONSUMER_ADDON_EXPORT void consumerAddonWarn(const char* text) { KLOG(WARN) << text; }

CONSUMER_ADDON_EXPORT void consumerAddonDebug(const char* text) { KLOGF(DBG, "{}", text); }
