#pragma once

// LoggerLevels: the categories of the JavaScript loggers and, for each, the
// effective level that logcore's running configuration gives it, kept where
// JavaScript can read it without calling into native code.
//
// Each category a logger is made for gets one slot for the whole process
// (every spelling of a name gets the same slot, see CategoryName.h). A slot's
// level is worked out from logcore's configuration (getLoggerConfig) when the
// slot is made, and again every time that configuration changes: the first
// slot registers refresh() as a configuration-changed trigger with logcore.
// So a level check against a slot answers exactly as logcore's own check of
// the category: `level >= slot level`. (The module's own logger database
// follows logcore by merging, so after a replacement of logcore's
// configuration it may keep older levels; the slots never do.)
//
// JavaScript reads the levels from pages: per environment (the main thread
// and each worker), one block of kSlotsPerPage 32-bit words per
// kSlotsPerPage slots, held in an ArrayBuffer of that environment.
// attachPage fills the block and keeps writing every later level into it
// until detachEnvironment, which the environment's cleanup calls before its
// buffers go. Slot i is word i % kSlotsPerPage of page i / kSlotsPerPage.
//
// Errors: slotFor throws std::length_error past kMaxSlots slots, and what
// reading logcore's configuration throws (std::bad_alloc). refresh, run as a
// trigger, lets the same errors go back to logcore.
//
// Thread safety: every function may be called from any thread, concurrently.
// Pages are written under the registry's lock; JavaScript reads a word whole
// without one.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/logging/LogConfig.h"
#include "common/logging/LogLevel.h"

namespace quorvane::kestro::logcontrol {

inline constexpr uint32_t kSlotsPerPage = 256;
inline constexpr uint32_t kMaxSlots = 1 << 20;

struct LoggerSlot {
  uint32_t index;
  std::string canonicalName;
};

// The slot of the category `name` (any spelling), made on first use.
LoggerSlot loggerSlotFor(std::string_view name);

// Registers `words` (kSlotsPerPage of them, owned by `environment`) as page
// `page` of that environment and fills it with the current levels (slots not
// made yet read as the highest level, so nothing is enabled for them).
void attachLevelPage(const void* environment, uint32_t page, uint32_t* words);

// Stops writing into every page of `environment`.
void detachLevelPages(const void* environment);

// Works every slot's level out again from logcore's configuration and writes
// it into every page.
void refreshLoggerLevels();

// The effective level of the category with the canonical name `name` under
// `categories` (a configuration as getLoggerConfig reports it): the nearest
// configured category on the way up that does not inherit gives its level,
// lowered by every inheriting one below it; an unconfigured category inherits;
// a missing root is INFO.
LogLevel effectiveLevelIn(const LogConfig::CategoryConfigMap& categories, std::string_view name);

}  // namespace quorvane::kestro::logcontrol
