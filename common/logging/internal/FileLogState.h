#pragma once

// Per-source-file state of log statements: a level cache and the file's
// category, one pair per source file path and program image (the template is
// keyed by the path; hidden visibility keeps one per deliverable).
//
// Internal: use the macros of common/logging/Log.h.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/logging/LogLevel.h"

namespace quorvane {
class LogCategory;
}

namespace quorvane::logging::internal {

// A source path usable as a template argument.
template <size_t N>
struct SourcePath {
  constexpr SourcePath(const char (&text)[N]) { std::copy_n(text, N, chars); }  // NOLINT
  constexpr std::string_view view() const { return {chars, N - 1}; }
  char chars[N];
};

struct FileLogState {
  // The category's effective level; 0 (UNINITIALIZED) until first use.
  std::atomic<uint32_t> levelCache{0};
  std::atomic<LogCategory*> category{nullptr};
};

template <SourcePath Path>
struct FileLogStateFor {
  static inline FileLogState state;
};

// Slow path: fills the cache from the process database and returns the
// category when `level` is enabled, else null.
LogCategory* initializeFileLogState(LogLevel level, std::string_view path, FileLogState& state);

// The rest of the check for a statement that passed the cached level (kept out
// of line, so that the code of every statement holds only the fast test).
LogCategory* enabledFileCategoryAfterCache(LogLevel level, std::string_view path,
                                           FileLogState& state);

// The file's category when a statement at `level` is enabled, else null.
// Disabled statements cost one relaxed load and a compare, inlined into the
// statement whatever the function around it looks like.
template <SourcePath Path>
[[gnu::always_inline]] inline LogCategory* enabledFileCategory(LogLevel level) {
  FileLogState& state = FileLogStateFor<Path>::state;
  if (toUnderlying(level) < state.levelCache.load(std::memory_order_relaxed)) [[likely]] {
    return nullptr;
  }
  return enabledFileCategoryAfterCache(level, Path.view(), state);
}

}  // namespace quorvane::logging::internal
