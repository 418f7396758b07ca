#pragma once

// AnswerableNotifications: which of the notifications the addon delivered can
// still be answered, by the environment (main thread or worker) that
// delivered them, and so whose event loop must stay alive: an answer that can
// still come is pending work, as an open socket is.
//
// An environment's loop is held open while the response handler is set in it
// (the last initNotificationCenterDelegate of the process ran there) and at
// least one notification delivered from it can still be answered. A delivery
// counts from its deliverNotification call on (the centre may show it any
// time after) until the centre refuses it (notDelivered) or reports it off
// show (noLongerShown: removed, replaced, answered where the centre then takes
// it away, closed by the system or the user).
//
// Counting. The centre reports every notification it delivered exactly once
// (platform/UserNotifications/NotificationCenterDelegate.h), so a delivery
// ends exactly once, whether refused or reported, and the counts come out
// right in whatever order reports and completions arrive. A report names only
// an identifier; it ends the oldest delivery of that identifier still
// counted, and a refusal whose delivery a report already ended ends the
// oldest one left instead (the same number of deliveries ends either way).
//
// Holds. holdLoop(environment) is called when an environment starts to need
// its loop kept alive, always on that environment's JavaScript thread (only
// delivering and handlerSetIn start a need, and only for their own
// environment); the hold it returns (a token owning something, if only a
// null pointer) is dropped when the need ends, on whichever thread ended it,
// never with the lock of this class held. holdLoop runs under that lock and
// must not call back in; if it throws, the call that asked for the hold
// throws it and changes nothing.
//
// An environment that ends (environmentEnded) drops its hold and its handler;
// its deliveries still count until they end, but hold nothing, and a new
// environment at the same address starts afresh.
//
// Who may call what
//   delivering, handlerSetIn, environmentEnded: the environment's JavaScript
//       thread.
//   notDelivered, noLongerShown, holdsLoopOf: any thread.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorvane::kestro::notifications {

class AnswerableNotifications {
 public:
  using Environment = void*;
  using LoopHold = std::shared_ptr<void>;
  using HoldLoop = std::function<LoopHold(Environment environment)>;

  // One delivery being counted.
  struct Delivery {
    std::uint64_t ticket = 0;
    std::string identifier;
  };

  explicit AnswerableNotifications(HoldLoop holdLoop) : holdLoop_(std::move(holdLoop)) {}
  AnswerableNotifications(const AnswerableNotifications&) = delete;
  AnswerableNotifications& operator=(const AnswerableNotifications&) = delete;

  Delivery delivering(Environment environment, const std::string& identifier);
  void notDelivered(const Delivery& delivery);
  void noLongerShown(const std::vector<std::string>& identifiers);

  void handlerSetIn(Environment environment);
  void environmentEnded(Environment environment);

  bool holdsLoopOf(Environment environment) const;

 private:
  struct Keeper {
    Environment environment = nullptr;
    std::size_t answerable = 0;
    bool handlerSet = false;
    LoopHold hold;
  };
  struct Counted {
    std::uint64_t ticket = 0;
    std::shared_ptr<Keeper> keeper;
  };
  using CountedList = std::deque<Counted>;

  const std::shared_ptr<Keeper>& keeperOf(Environment environment);
  // The holds these return are dropped by the caller after unlocking.
  LoopHold updateHold(Keeper& keeper);
  LoopHold end(const std::string& identifier, CountedList& list, CountedList::iterator counted);

  mutable std::mutex mutex_;
  const HoldLoop holdLoop_;
  std::uint64_t lastTicket_ = 0;
  std::map<Environment, std::shared_ptr<Keeper>> keepers_;
  std::shared_ptr<Keeper> handlerKeeper_;
  // Oldest first, by identifier.
  std::unordered_map<std::string, CountedList> counted_;
};

}  // namespace quorvane::kestro::notifications
