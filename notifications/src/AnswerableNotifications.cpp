#include "notifications/src/AnswerableNotifications.h"

#include <algorithm>
#include <utility>

namespace quorvane::kestro::notifications {

namespace {

// A hold is a token: it may own a null pointer, so whether there is one is
// whether it owns anything at all.
bool isHeld(const AnswerableNotifications::LoopHold& hold) { return hold.use_count() != 0; }

}  // namespace

AnswerableNotifications::Delivery AnswerableNotifications::delivering(
    Environment environment, const std::string& identifier) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::shared_ptr<Keeper>& keeper = keeperOf(environment);
  ++keeper->answerable;
  try {
    updateHold(*keeper);  // only ever makes one here
  } catch (...) {
    --keeper->answerable;
    throw;
  }
  const Delivery delivery{++lastTicket_, identifier};
  counted_[identifier].push_back(Counted{delivery.ticket, keeper});
  return delivery;
}

void AnswerableNotifications::notDelivered(const Delivery& delivery) {
  LoopHold dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  const auto list = counted_.find(delivery.identifier);
  if (list == counted_.end()) {
    return;
  }
  auto counted = std::find_if(list->second.begin(), list->second.end(),
                              [&](const Counted& c) { return c.ticket == delivery.ticket; });
  if (counted == list->second.end()) {
    counted = list->second.begin();  // a report ended this one in another's place
  }
  dropped = end(delivery.identifier, list->second, counted);
}

void AnswerableNotifications::noLongerShown(const std::vector<std::string>& identifiers) {
  std::vector<LoopHold> dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const std::string& identifier : identifiers) {
    const auto list = counted_.find(identifier);
    if (list != counted_.end()) {  // else not delivered by the addon
      dropped.push_back(end(identifier, list->second, list->second.begin()));
    }
  }
}

void AnswerableNotifications::handlerSetIn(Environment environment) {
  LoopHold dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  const std::shared_ptr<Keeper>& keeper = keeperOf(environment);
  const bool wasSet = std::exchange(keeper->handlerSet, true);
  try {
    updateHold(*keeper);  // only ever makes one here
  } catch (...) {
    keeper->handlerSet = wasSet;
    throw;
  }
  if (handlerKeeper_ && handlerKeeper_ != keeper) {
    handlerKeeper_->handlerSet = false;
    dropped = updateHold(*handlerKeeper_);
  }
  handlerKeeper_ = keeper;
}

void AnswerableNotifications::environmentEnded(Environment environment) {
  LoopHold dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = keepers_.find(environment);
  if (found == keepers_.end()) {
    return;
  }
  Keeper& keeper = *found->second;
  keeper.handlerSet = false;
  dropped = updateHold(keeper);
  if (handlerKeeper_ == found->second) {
    handlerKeeper_.reset();
  }
  keepers_.erase(found);
}

const std::shared_ptr<AnswerableNotifications::Keeper>& AnswerableNotifications::keeperOf(
    Environment environment) {
  std::shared_ptr<Keeper>& keeper = keepers_[environment];
  if (!keeper) {
    keeper = std::make_shared<Keeper>();
    keeper->environment = environment;
  }
  return keeper;
}

bool AnswerableNotifications::holdsLoopOf(Environment environment) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = keepers_.find(environment);
  return found != keepers_.end() && isHeld(found->second->hold);
}

AnswerableNotifications::LoopHold AnswerableNotifications::updateHold(Keeper& keeper) {
  const bool needed = keeper.handlerSet && keeper.answerable > 0;
  if (needed && !isHeld(keeper.hold)) {
    keeper.hold = holdLoop_(keeper.environment);
  }
  return needed ? nullptr : std::move(keeper.hold);
}

AnswerableNotifications::LoopHold AnswerableNotifications::end(const std::string& identifier,
                                                               CountedList& list,
                                                               CountedList::iterator counted) {
  const std::shared_ptr<Keeper> keeper = std::move(counted->keeper);
  list.erase(counted);
  if (list.empty()) {
    counted_.erase(identifier);
  }
  --keeper->answerable;
  return updateHold(*keeper);
}

}  // namespace quorvane::kestro::notifications
