#pragma once

// The logging statements for a module built against the installed package:
// KLOG, KLOGF and KLOG_IS_ON (common/logging/Log.h, which says what they cost
// and where they log), and KLOG_TO / KLOGF_TO with a Logger for a named
// category (common/logging/Logger.h).
//
//   #include <kestro/log.h>
//   KLOG(WARN) << "retrying " << host;
//   KLOGF(INFO, "{} of {}", done, total);
//
// A statement logs to the category named after its source file's path as
// the compiler spells __FILE__ (build with
// -fmacro-prefix-map=<project directory>/= for paths relative to the project).
// The module's own logger database decides; a module that links the logging
// client (Kestro::client) hands what passes to liblogcore.

#include "common/logging/Log.h"
#include "common/logging/Logger.h"
