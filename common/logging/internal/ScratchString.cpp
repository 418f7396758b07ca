#include "common/logging/internal/ScratchString.h"

#include <utility>

namespace quorvane::logging::internal {
namespace {

// Set when the thread's slots have been destroyed (thread exit). A plain
// thread-local, so it can still be read after the slots are gone.
thread_local bool slotsGone = false;

struct Slots {
  std::string strings[kScratchSlots];
  bool lent[kScratchSlots] = {};
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

ScopedScratchString::ScopedScratchString(ScratchSlot slot) : text_(&own_) {
  const auto index = static_cast<size_t>(slot);
  if (slotsGone || slots.lent[index]) {
    return;
  }
  slots.lent[index] = true;
  lentFlag_ = &slots.lent[index];
  text_ = &slots.strings[index];
  text_->clear();
}

ScopedScratchString::~ScopedScratchString() {
  if (lentFlag_ == nullptr) {
    return;
  }
  if (text_->capacity() > kMaxKeptScratchCapacity) {
    std::string().swap(*text_);
  }
  *lentFlag_ = false;
}

}  // namespace quorvane::logging::internal
