#include "common/logging/internal/ScratchString.h"

namespace quorvane::logging::internal {

constinit thread_local ScratchStrings* threadScratchStrings = nullptr;

namespace {

// Set when the thread's strings have been destroyed (thread exit).
constinit thread_local bool scratchStringsGone = false;

// Owns the thread's strings and destroys them at the thread's exit.
struct ScratchStringsOwner {
  ScratchStrings* strings = nullptr;
  ~ScratchStringsOwner() {
    scratchStringsGone = true;
    threadScratchStrings = nullptr;
    delete strings;
  }
};
thread_local ScratchStringsOwner scratchStringsOwner;

}  // namespace

void ScopedScratchString::lendSlowly(size_t index) {
  if (threadScratchStrings == nullptr && !scratchStringsGone) {
    scratchStringsOwner.strings = new ScratchStrings();
    threadScratchStrings = scratchStringsOwner.strings;
  }
  ScratchStrings* strings = threadScratchStrings;
  if (strings != nullptr && !strings->lent[index]) {
    strings->lent[index] = true;
    lentFlag_ = &strings->lent[index];
    text_ = &strings->strings[index];
    return;
  }
  text_ = &own_.emplace();
}

}  // namespace quorvane::logging::internal
