#include "common/logging/internal/ScratchString.h"

namespace quorvane::logging_internal {
namespace {

// Set when the thread's slots have been destroyed (thread exit). A plain
// thread-local, so it can still be read after the slots are gone.
thread_local bool slotsGone = false;

struct Slots {
  std::string strings[kScratchSlots];
  ~Slots() { slotsGone = true; }
};
thread_local Slots slots;

}  // namespace

std::string takeScratchString(ScratchSlot slot) {
  if (slotsGone) {
    return {};
  }
  std::string text = std::move(slots.strings[static_cast<size_t>(slot)]);
  text.clear();
  return text;
}

void giveBackScratchString(ScratchSlot slot, std::string&& text) {
  if (slotsGone || text.capacity() > kMaxKeptScratchCapacity) {
    return;
  }
  slots.strings[static_cast<size_t>(slot)] = std::move(text);
}

}  // namespace quorvane::logging_internal
