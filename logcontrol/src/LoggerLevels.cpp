#include "logcontrol/src/LoggerLevels.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "common/logging/CategoryName.h"
#include "kestro/logcore.h"

namespace quorvane::kestro::logcontrol {
namespace {

// What a page holds for slots not made yet: above every level.
constexpr uint32_t kNothingEnabled = UINT32_MAX;

struct Page {
  const void* environment;
  uint32_t page;
  uint32_t* words;
};

// Never destroyed: triggers and environment cleanups may come during exit.
struct Registry {
  std::mutex mutex;
  // By slot.
  std::vector<std::string> names;
  std::vector<uint32_t> levels;
  std::unordered_map<std::string, uint32_t> slots;
  std::vector<Page> pages;
  // logcore's categories as last read; empty until the first slot.
  std::optional<LogConfig::CategoryConfigMap> core;

  // Requires the mutex held.
  void readCoreLevels() {
    core = logging::getLoggerConfig().categoryConfigs();
    for (size_t i = 0; i < names.size(); ++i) {
      levels[i] = toUnderlying(effectiveLevelIn(*core, names[i]));
    }
  }
  void writeToPages(uint32_t slot) {
    for (const Page& page : pages) {
      if (page.page == slot / kSlotsPerPage) {
        std::atomic_ref<uint32_t>(page.words[slot % kSlotsPerPage])
            .store(levels[slot], std::memory_order_relaxed);
      }
    }
  }
};

Registry& registry() {
  static Registry* const made = new Registry();
  return *made;
}

// Removes the trigger at exit, so logcore never calls into a module that is
// gone.
struct TriggerRemoval {
  ~TriggerRemoval() {
    try {
      logging::removeLogConfigChangedTrigger(&refreshLoggerLevels);
    } catch (...) {
      // Only a failing lock throws here, and there is no one to tell.
    }
  }
};

void addTriggerOnce() {
  // Outside the registry's lock: a firing holds logcore's trigger lock while
  // refreshLoggerLevels takes the registry's.
  static std::once_flag once;
  std::call_once(once, [] {
    logging::addLogConfigChangedTrigger(&refreshLoggerLevels);
    static TriggerRemoval removal;
  });
}

}  // namespace

LogLevel effectiveLevelIn(const LogConfig::CategoryConfigMap& categories, std::string_view name) {
  uint32_t level = toUnderlying(LogLevel::MAX_LEVEL);
  std::string current(name);
  while (true) {
    const auto found = categories.find(current);
    if (found != categories.end()) {
      level = std::min(level,
                       std::clamp(toUnderlying(found->second.level), toUnderlying(LogLevel::NONE),
                                  toUnderlying(LogLevel::MAX_LEVEL)));
      // The root never inherits.
      if (!found->second.inherit || current.empty()) {
        return static_cast<LogLevel>(level);
      }
    } else if (current.empty()) {
      return static_cast<LogLevel>(std::min(level, toUnderlying(LogLevel::INFO)));
    }
    const size_t dot = current.rfind('.');
    current.resize(dot == std::string::npos ? 0 : dot);
  }
}

LoggerSlot loggerSlotFor(std::string_view name) {
  std::string canonical = canonicalCategoryName(name);
  addTriggerOnce();
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (const auto found = r.slots.find(canonical); found != r.slots.end()) {
    return {found->second, std::move(canonical)};
  }
  if (r.names.size() >= kMaxSlots) {
    throw std::length_error("too many logger categories (" + std::to_string(kMaxSlots) + ")");
  }
  if (!r.core) {
    r.readCoreLevels();
  }
  const auto slot = static_cast<uint32_t>(r.names.size());
  r.levels.push_back(toUnderlying(effectiveLevelIn(*r.core, canonical)));
  r.names.push_back(canonical);
  r.slots.emplace(canonical, slot);
  r.writeToPages(slot);
  return {slot, std::move(canonical)};
}

void attachLevelPage(const void* environment, uint32_t page, uint32_t* words) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (uint32_t i = 0; i < kSlotsPerPage; ++i) {
    const size_t slot = static_cast<size_t>(page) * kSlotsPerPage + i;
    std::atomic_ref<uint32_t>(words[i]).store(
        slot < r.levels.size() ? r.levels[slot] : kNothingEnabled, std::memory_order_relaxed);
  }
  r.pages.push_back({environment, page, words});
}

void detachLevelPages(const void* environment) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  std::erase_if(r.pages, [environment](const Page& p) { return p.environment == environment; });
}

void refreshLoggerLevels() {
  Registry& r = registry();
  // Read under the lock, so that two firings at once never leave the older
  // configuration's levels behind.
  std::lock_guard<std::mutex> lock(r.mutex);
  r.readCoreLevels();
  for (const Page& page : r.pages) {
    for (uint32_t i = 0; i < kSlotsPerPage; ++i) {
      const size_t slot = static_cast<size_t>(page.page) * kSlotsPerPage + i;
      if (slot < r.levels.size()) {
        std::atomic_ref<uint32_t>(page.words[i]).store(r.levels[slot], std::memory_order_relaxed);
      }
    }
  }
}

}  // namespace quorvane::kestro::logcontrol
