#include "common/logging/LogCategory.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string_view>

#include "common/logging/LogHandler.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/internal/HandlerListGate.h"
#include "common/logging/internal/SnapshotGuard.h"
#include "common/utilities/ExceptionString.h"
#include "common/utilities/FileUtil.h"

namespace quorvane {
namespace {

constexpr uint32_t kNone = toUnderlying(LogLevel::NONE);
constexpr uint32_t kMaxLevel = toUnderlying(LogLevel::MAX_LEVEL);
// Where a handler that threw is reported.
constexpr std::string_view kWarningSource = "common/logging/LogCategory.cpp";
constexpr int kWarningLine = 121;

using logging::internal::GuardedSnapshot;
using logging::internal::retireSnapshot;
using logging::internal::SnapshotGuard;

}  // namespace

struct LogCategory::HandlerSnapshot : GuardedSnapshot {
  explicit HandlerSnapshot(HandlerList list) : handlers(std::move(list)) {}
  const HandlerList handlers;
};

LogCategory::LogCategory(DatabaseKey, LoggerDB* db, logging::internal::HandlerListGate& gate)
    : effectiveLevel_(toUnderlying(LogLevel::ERR)),
      levelWord_(toUnderlying(LogLevel::ERR)),
      parent_(nullptr),
      db_(db),
      handlerListGate_(gate) {
  handlerListGate_.addListLock(handlersMutex_);
}

LogCategory::LogCategory(DatabaseKey, LogCategory* parent, std::string canonicalName)
    : effectiveLevel_(parent->effectiveLevel_.load(std::memory_order_relaxed)),
      levelWord_(kMaxLevel | FLAG_INHERIT),
      parent_(parent),
      name_(std::move(canonicalName)),
      db_(parent->db_),
      handlerListGate_(parent->handlerListGate_),
      nextSibling_(parent->firstChild_) {
  parent->firstChild_ = this;
  handlerListGate_.addListLock(handlersMutex_);
}

LogCategory::~LogCategory() { retireSnapshot(handlers_.exchange(nullptr)); }

std::pair<LogLevel, bool> LogCategory::levelInfo() const {
  uint32_t word = levelWord_.load(std::memory_order_relaxed);
  return {static_cast<LogLevel>(word & ~FLAG_INHERIT), (word & FLAG_INHERIT) != 0};
}

void LogCategory::setLevel(LogLevel level, bool inherit) {
  uint32_t value = toUnderlying(level);
  if (value < kNone) {
    value = kNone;
  } else if (value > kMaxLevel) {
    value = kMaxLevel;
  }
  if (parent_ == nullptr) {
    inherit = false;
  }
  const uint32_t newWord = inherit ? (value | FLAG_INHERIT) : value;
  const uint32_t oldWord = levelWord_.exchange(newWord, std::memory_order_acq_rel);
  if (oldWord == newWord) {
    return;
  }
  uint32_t newEffective = value;
  if (inherit) {
    uint32_t parentLevel = parent_->effectiveLevel_.load(std::memory_order_relaxed);
    newEffective = std::min(value, parentLevel);
  }
  updateEffectiveLevel(newEffective);
}

void LogCategory::updateEffectiveLevel(uint32_t newEffectiveLevel) {
  const uint32_t old = effectiveLevel_.exchange(newEffectiveLevel, std::memory_order_acq_rel);
  if (old == newEffectiveLevel) {
    return;
  }
  for (std::atomic<uint32_t>* cache : levelCaches_) {
    cache->store(newEffectiveLevel, std::memory_order_release);
  }
  for (LogCategory* child = firstChild_; child != nullptr; child = child->nextSibling_) {
    uint32_t childWord = child->levelWord_.load(std::memory_order_relaxed);
    if ((childWord & FLAG_INHERIT) == 0) {
      continue;
    }
    child->updateEffectiveLevel(std::min(childWord & ~FLAG_INHERIT, newEffectiveLevel));
  }
}

void LogCategory::registerLevelCache(DatabaseKey, std::atomic<uint32_t>* cache) {
  levelCaches_.push_back(cache);
}

void LogCategory::deliverToHandlers(const LogMessage& message) const {
  const SnapshotGuard<HandlerSnapshot> guard(handlers_);
  if (guard.guarded()) [[likely]] {
    if (const HandlerSnapshot* snapshot = guard.get()) {
      callHandlers(snapshot->handlers.data(), snapshot->handlers.size(), message);
    }
    return;
  }
  // The thread has no free slot (dispatches nested deeper than its slots, or
  // the thread is exiting): the handlers are held by copies instead.
  const HandlerList handlers = handlersSnapshot();
  callHandlers(handlers.data(), handlers.size(), message);
}

void LogCategory::callHandlers(const std::shared_ptr<LogHandler>* handlers, size_t count,
                               const LogMessage& message) const {
  for (size_t i = 0; i < count; ++i) {
    try {
      handlers[i]->handleMessage(message, this);
    } catch (const std::exception& ex) {
      LoggerDB::internalWarning(
          kWarningSource, kWarningLine,
          "log handler for category \"" + name_ + "\" threw an error: " + exceptionDescription(ex));
    } catch (...) {
      // Nothing may escape into the logging caller, whatever a handler throws.
      LoggerDB::internalWarning(
          kWarningSource, kWarningLine,
          "log handler for category \"" + name_ + "\" threw an error: unknown exception");
    }
  }
}

void LogCategory::dispatchMessage(const LogMessage& message) const {
  const LogCategory* category = this;
  while (true) {
    // Most categories on a message's way up have no handlers of their own.
    if (category->handlers_.load(std::memory_order_relaxed) != nullptr) {
      category->deliverToHandlers(message);
    }
    if (category->parent_ == nullptr || message.level() < category->propagationLevel()) {
      return;
    }
    category = category->parent_;
  }
}

void LogCategory::submitMessage(const LogMessage& message) const {
  dispatchMessage(message);
  if (!isLogLevelFatal(message.level())) {
    return;
  }
  if (db_->flushHandlers() == 0) {
    std::string text = "FATAL:";
    text.append(message.fileName());
    text += ":";
    text += std::to_string(message.lineNumber());
    text += ": ";
    text += message.messageText();
    text += "\n";
    writeFull(STDERR_FILENO, text.data(), text.size());
  }
  std::abort();
}

LogCategory::HandlerList LogCategory::handlersSnapshot() const {
  std::shared_lock<std::shared_mutex> lock(handlersMutex_);
  const HandlerSnapshot* snapshot = handlers_.load(std::memory_order_relaxed);
  return snapshot != nullptr ? snapshot->handlers : HandlerList{};
}

LogCategory::HandlerSnapshot* LogCategory::publishLocked(HandlerList handlers) {
  HandlerSnapshot* published =
      handlers.empty() ? nullptr : new HandlerSnapshot(std::move(handlers));
  return handlers_.exchange(published, std::memory_order_seq_cst);
}

void LogCategory::setHandlers(HandlerList handlers) {
  HandlerSnapshot* previous = nullptr;
  {
    // Never half swapped when the process forks (see HandlerListGate).
    const auto gate = handlerListGate_.enterForChange();
    std::unique_lock<std::shared_mutex> lock(handlersMutex_);
    previous = publishLocked(std::move(handlers));
  }
  // Released here, unlocked, or by the last dispatch still reading it.
  retireSnapshot(previous);
}

void LogCategory::removeAllHandlers() { setHandlers({}); }

void LogCategory::substituteHandlers(const HandlerMap& map) {
  HandlerSnapshot* previous = nullptr;
  {
    const auto gate = handlerListGate_.enterForChange();
    std::unique_lock<std::shared_mutex> lock(handlersMutex_);
    const HandlerSnapshot* current = handlers_.load(std::memory_order_relaxed);
    if (current == nullptr) {
      return;
    }
    HandlerList handlers = current->handlers;
    bool changed = false;
    for (auto& handler : handlers) {
      auto it = map.find(handler);
      if (it != map.end()) {
        handler = it->second;
        changed = true;
      }
    }
    if (!changed) {
      return;
    }
    previous = publishLocked(std::move(handlers));
  }
  retireSnapshot(previous);
}

}  // namespace quorvane
