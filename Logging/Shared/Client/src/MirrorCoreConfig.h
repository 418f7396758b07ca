#pragma once

// mirrorCoreConfig: makes this module's logger database follow logcore's
// levels, so that the module lets exactly those messages through that logcore
// would write, and hands each of them to logcore once.
//
// Every category that logcore's running configuration reports takes logcore's
// level and inherit flag here, no handler of its own, and an open way to its
// parent (propagation level NONE). The root also carries the one forwarding
// handler, "kestroForward" (ForwardingLogHandlerFactory.h). A message that
// passes its category's level check therefore climbs to the root and reaches
// logcore exactly once, and logcore routes it by its own category name to
// every channel it belongs to. logcore's propagation levels and handlers are
// not copied: they act inside logcore.
//
// The copy is merged (LoggerDB::applyConfig): categories logcore does not
// report keep what they have, so a category that a replacement of logcore's
// configuration dropped keeps the settings copied earlier.
//
// The client set-up (ClientSetup.h) registers mirrorCoreConfig as logcore's
// configuration-changed trigger and calls it once while the module loads.
//
// Errors: throws what reading logcore's configuration or applying the copy
// throws (std::invalid_argument when the copy cannot be applied, which leaves
// the module's configuration as it was). Run as a trigger, the error goes back
// to logcore.
//
// Thread safety: may run on any thread, while other threads log, and
// concurrently with itself (triggers fired by two threads); the database
// serialises configuration changes. It adds and removes no trigger.

#include "common/logging/LogConfig.h"

namespace quorvane::kestro::logging {

void mirrorCoreConfig();

// The configuration mirrorCoreConfig applies for logcore's `coreConfig`. The
// root is always in it: when `coreConfig` has no root entry, at INFO, not
// inheriting.
LogConfig mirroredConfig(const LogConfig& coreConfig);

}  // namespace quorvane::kestro::logging
