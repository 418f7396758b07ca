#include "platform/UserNotifications/dbus/internal/DeliveredTable.h"

#include <utility>

namespace quorvane::platform::notifications::internal {

DeliveredTable::Ticket DeliveredTable::begin(Delivery delivery) {
  const Ticket ticket = ++lastTicket_;
  Entry& entry = entries_[delivery.request.identifier];
  entry.latest = ticket;
  ++entry.inFlight;
  pending_.emplace(ticket, std::move(delivery));
  return ticket;
}

const DeliveredTable::Entry* DeliveredTable::entryOf(Ticket ticket) const {
  const auto pending = pending_.find(ticket);
  if (pending == pending_.end()) {
    return nullptr;
  }
  const auto entry = entries_.find(pending->second.request.identifier);
  return entry != entries_.end() ? &entry->second : nullptr;
}

bool DeliveredTable::wanted(Ticket ticket) const {
  const Entry* entry = entryOf(ticket);
  return entry != nullptr && entry->latest == ticket && ticket > entry->removedAt;
}

DeliveredTable::ServerId DeliveredTable::replacesIdFor(Ticket ticket) const {
  const Entry* entry = entryOf(ticket);
  return entry != nullptr ? entry->shownAs : 0;
}

const Delivery* DeliveredTable::pendingDelivery(Ticket ticket) const {
  const auto pending = pending_.find(ticket);
  return pending != pending_.end() ? &pending->second : nullptr;
}

std::vector<DeliveredTable::ServerId> DeliveredTable::shown(Ticket ticket, ServerId serverId) {
  auto pending = pending_.extract(ticket);
  if (pending.empty()) {
    return {};
  }
  const std::string identifier = pending.mapped().request.identifier;
  Entry& entry = entries_[identifier];
  --entry.inFlight;
  std::vector<ServerId> toClose;
  if (entry.latest > entry.removedAt) {
    if (entry.shownAs != 0) {
      // Replaced in place (the same id) or to be closed (another one).
      if (entry.shownAs != serverId) {
        toClose.push_back(entry.shownAs);
      }
      unshow(identifier, entry);
    }
    entry.shownAs = serverId;
    shown_.insert_or_assign(serverId, std::move(pending.mapped()));
  } else {
    // Removed while in flight: closed at once, or, showing under the id of a
    // newer add already, given way to it.
    if (serverId != entry.shownAs) {
      toClose.push_back(serverId);
    }
    offShow_.push_back(identifier);
  }
  eraseIfUnused(identifier);
  return toClose;
}

void DeliveredTable::dropped(Ticket ticket) {
  auto pending = pending_.extract(ticket);
  if (pending.empty()) {
    return;
  }
  const std::string& identifier = pending.mapped().request.identifier;
  --entries_[identifier].inFlight;
  eraseIfUnused(identifier);
}

void DeliveredTable::notSent(Ticket ticket) {
  const auto pending = pending_.find(ticket);
  if (pending == pending_.end()) {
    return;
  }
  offShow_.push_back(pending->second.request.identifier);
  dropped(ticket);
}

std::vector<DeliveredTable::ServerId> DeliveredTable::remove(
    const std::vector<std::string>& identifiers) {
  std::vector<ServerId> toClose;
  for (const std::string& identifier : identifiers) {
    const auto found = entries_.find(identifier);
    if (found == entries_.end()) {
      continue;
    }
    Entry& entry = found->second;
    entry.removedAt = lastTicket_;
    if (entry.shownAs != 0) {
      toClose.push_back(entry.shownAs);
      unshow(identifier, entry);
    }
    eraseIfUnused(identifier);
  }
  return toClose;
}

std::vector<DeliveredTable::ServerId> DeliveredTable::removeAll() {
  std::vector<std::string> identifiers;
  identifiers.reserve(entries_.size());
  for (const auto& [identifier, entry] : entries_) {
    identifiers.push_back(identifier);
  }
  return remove(identifiers);
}

void DeliveredTable::closedByServer(ServerId serverId) {
  const auto found = shown_.find(serverId);
  if (found == shown_.end()) {
    return;
  }
  const std::string identifier = found->second.request.identifier;
  Entry& entry = entries_[identifier];
  if (entry.shownAs == serverId) {
    unshow(identifier, entry);
  } else {
    shown_.erase(found);
  }
  eraseIfUnused(identifier);
}

void DeliveredTable::forgetShown() {
  for (auto entry = entries_.begin(); entry != entries_.end();) {
    if (entry->second.shownAs != 0) {
      unshow(entry->first, entry->second);
    }
    entry = entry->second.inFlight == 0 ? entries_.erase(entry) : std::next(entry);
  }
  shown_.clear();
}

const Delivery* DeliveredTable::deliveryShownAs(ServerId serverId) const {
  const auto found = shown_.find(serverId);
  return found != shown_.end() ? &found->second : nullptr;
}

void DeliveredTable::unshow(const std::string& identifier, Entry& entry) {
  shown_.erase(entry.shownAs);
  entry.shownAs = 0;
  offShow_.push_back(identifier);
}

std::vector<std::string> DeliveredTable::takeOffShow() { return std::exchange(offShow_, {}); }

void DeliveredTable::eraseIfUnused(const std::string& identifier) {
  const auto found = entries_.find(identifier);
  if (found != entries_.end() && found->second.inFlight == 0 && found->second.shownAs == 0) {
    entries_.erase(found);
  }
}

}  // namespace quorvane::platform::notifications::internal
