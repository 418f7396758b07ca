#pragma once

// DeliveredTable: which of the application's notifications the server shows,
// by request identifier (what the application replaces and removes by) and by
// the server's id (what CloseNotification takes and the server's signals
// carry), and the Notify calls still on their way.
//
// Order. The server answers calls in the order they were sent, but the
// application may replace or remove an identifier while its Notify is still in
// flight, or not even sent yet. So every add takes a ticket (begin), and:
// - wanted(ticket): whether Notify is still worth sending: no newer add of the
//   identifier and no removal since. An unwanted add is not sent; it succeeds.
// - replacesIdFor(ticket): the server id shown under the identifier now, for
//   Notify to replace in place (0: none).
// - shown(ticket, id): the server shows the ticket's notification as `id`.
//   Unless the identifier was removed after the ticket (with no add since), it
//   becomes what the identifier shows, and a different id it showed before is
//   returned for closing; after such a removal `id` itself is returned, to be
//   closed. Either way the identifier ends up showing its newest
//   notification, or nothing once removed.
// - dropped(ticket): Notify failed (or could not be sent): nothing delivered.
// - notSent(ticket): the add was not worth sending (not wanted); it succeeds,
//   and its notification is off show at once.
// - remove / removeAll: the server ids to close; tickets in flight for those
//   identifiers count as removed.
// - closedByServer(id): the server closed it (expired, dismissed, ...).
// - forgetShown(): the server went away with everything it showed.
// - deliveryShownAs(id): what the server shows as `id`, or null when the id
//   is not one of this application's notifications.
// - takeOffShow(): the identifiers of the notifications that went off show
//   since the last call, one per notification that an add delivered (replaced,
//   removed, closed by the server or gone with it, not sent), so every add
//   that succeeds is listed exactly once.
//
// Thread safety: none; used on the bus thread only.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/UserNotifications/dbus/internal/NotifyMapping.h"

namespace quorvane::platform::notifications::internal {

class DeliveredTable {
 public:
  using Ticket = std::uint64_t;
  using ServerId = std::uint32_t;

  Ticket begin(Delivery delivery);
  bool wanted(Ticket ticket) const;
  ServerId replacesIdFor(Ticket ticket) const;
  const Delivery* pendingDelivery(Ticket ticket) const;
  std::vector<ServerId> shown(Ticket ticket, ServerId serverId);
  void dropped(Ticket ticket);
  void notSent(Ticket ticket);

  std::vector<ServerId> remove(const std::vector<std::string>& identifiers);
  std::vector<ServerId> removeAll();
  void closedByServer(ServerId serverId);
  void forgetShown();

  const Delivery* deliveryShownAs(ServerId serverId) const;
  std::size_t shownCount() const { return shown_.size(); }
  std::vector<std::string> takeOffShow();

 private:
  struct Entry {
    Ticket latest = 0;     // the newest add of the identifier
    Ticket removedAt = 0;  // the newest ticket when it was last removed
    ServerId shownAs = 0;  // 0: the server shows nothing for it
    std::size_t inFlight = 0;
  };

  const Entry* entryOf(Ticket ticket) const;
  // The notification `entry` shows goes off show.
  void unshow(const std::string& identifier, Entry& entry);
  void eraseIfUnused(const std::string& identifier);

  Ticket lastTicket_ = 0;
  std::unordered_map<Ticket, Delivery> pending_;
  std::unordered_map<std::string, Entry> entries_;
  std::unordered_map<ServerId, Delivery> shown_;
  std::vector<std::string> offShow_;
};

}  // namespace quorvane::platform::notifications::internal
