// The identifiers the application replaces and removes by, against the ids
// the server answers with, while calls overtake each other.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/UserNotifications/dbus/internal/DeliveredTable.h"

namespace quorvane::platform::notifications::internal {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

Delivery delivery(const std::string& identifier, const std::string& title = "t") {
  NotificationRequest request{identifier, {}};
  request.content.title = title;
  return Delivery{request, std::nullopt};
}

class DeliveredTableTest : public ::testing::Test {
 protected:
  // Adds and has the server show it as `serverId` at once.
  void show(const std::string& identifier, DeliveredTable::ServerId serverId) {
    const auto ticket = table_.begin(delivery(identifier));
    ASSERT_THAT(table_.shown(ticket, serverId), IsEmpty());
  }
  std::string titleShownAs(DeliveredTable::ServerId serverId) const {
    const Delivery* d = table_.deliveryShownAs(serverId);
    return d != nullptr ? d->request.content.title : "<none>";
  }

  DeliveredTable table_;
};

TEST_F(DeliveredTableTest, AnIdentifierIsReplacedInPlaceAndRemovedByItsServerId) {
  show("a", 1);
  show("b", 2);
  const auto again = table_.begin(delivery("a", "newer"));
  EXPECT_EQ(table_.replacesIdFor(again), 1u);
  EXPECT_THAT(table_.shown(again, 1), IsEmpty());
  EXPECT_EQ(titleShownAs(1), "newer");

  EXPECT_THAT(table_.remove({"a", "unknown"}), ElementsAre(1u));
  EXPECT_EQ(table_.deliveryShownAs(1), nullptr);
  EXPECT_THAT(table_.removeAll(), ElementsAre(2u));
  EXPECT_EQ(table_.shownCount(), 0u);
  EXPECT_EQ(table_.replacesIdFor(table_.begin(delivery("a"))), 0u);
}

TEST_F(DeliveredTableTest, AnAddOvertakenBeforeItWasSentIsNotWanted) {
  const auto first = table_.begin(delivery("a"));
  const auto second = table_.begin(delivery("a"));
  EXPECT_FALSE(table_.wanted(first));
  EXPECT_TRUE(table_.wanted(second));
  table_.dropped(first);
  table_.remove({"a"});
  EXPECT_FALSE(table_.wanted(second));
}

TEST_F(DeliveredTableTest, AnswersToOvertakenAddsCloseWhatShouldNoLongerShow) {
  // Two adds of one identifier in flight: the older one's notification gives
  // way to the newer one.
  const auto older = table_.begin(delivery("a", "older"));
  const auto newer = table_.begin(delivery("a", "newer"));
  EXPECT_THAT(table_.shown(older, 1), IsEmpty());
  EXPECT_THAT(table_.shown(newer, 2), ElementsAre(1u));
  EXPECT_EQ(titleShownAs(2), "newer");
  EXPECT_EQ(table_.deliveryShownAs(1), nullptr);

  // Removed while in flight: the answer is closed at once.
  const auto removed = table_.begin(delivery("b"));
  table_.remove({"b"});
  EXPECT_THAT(table_.shown(removed, 3), ElementsAre(3u));

  // Removed, then added again, both in flight: only the new one stays.
  const auto before = table_.begin(delivery("c", "before"));
  table_.remove({"c"});
  const auto after = table_.begin(delivery("c", "after"));
  EXPECT_THAT(table_.shown(before, 4), IsEmpty());
  EXPECT_THAT(table_.shown(after, 5), ElementsAre(4u));
  EXPECT_EQ(titleShownAs(5), "after");
  EXPECT_EQ(table_.shownCount(), 2u);
}

TEST_F(DeliveredTableTest, WhatTheServerClosedOrLostIsForgotten) {
  show("a", 1);
  show("b", 2);
  table_.closedByServer(1);
  EXPECT_EQ(table_.deliveryShownAs(1), nullptr);
  EXPECT_THAT(table_.remove({"a"}), IsEmpty());

  const auto inFlight = table_.begin(delivery("c"));
  table_.forgetShown();
  EXPECT_EQ(table_.shownCount(), 0u);
  EXPECT_THAT(table_.removeAll(), IsEmpty());
  EXPECT_THAT(table_.shown(inFlight, 3), ElementsAre(3u));  // removed by removeAll
}

// Each add that succeeds goes off show exactly once, however it went:
// replaced in place or by another id, not sent, removed in flight, removed,
// closed by the server, gone with it. Failed adds never show.
TEST_F(DeliveredTableTest, EveryAddThatSucceedsGoesOffShowOnce) {
  show("a", 1);
  show("a", 1);  // replaced in place
  EXPECT_THAT(table_.takeOffShow(), ElementsAre("a"));

  const auto older = table_.begin(delivery("b"));
  const auto newer = table_.begin(delivery("b"));
  const auto failed = table_.begin(delivery("f"));
  table_.dropped(failed);
  EXPECT_THAT(table_.shown(older, 2), IsEmpty());
  EXPECT_THAT(table_.shown(newer, 3), ElementsAre(2u));  // the older one gives way
  const auto overtaken = table_.begin(delivery("c"));
  table_.begin(delivery("c"));
  table_.notSent(overtaken);
  EXPECT_THAT(table_.takeOffShow(), ElementsAre("b", "c"));

  const auto removedInFlight = table_.begin(delivery("d"));
  table_.remove({"d", "b"});
  EXPECT_THAT(table_.shown(removedInFlight, 4), ElementsAre(4u));
  EXPECT_THAT(table_.takeOffShow(), ElementsAre("b", "d"));

  show("e", 5);
  table_.closedByServer(5);
  table_.closedByServer(5);  // the server's signal after our own close, too
  table_.closedByServer(1);  // the "a" shown first
  EXPECT_THAT(table_.takeOffShow(), ElementsAre("e", "a"));

  show("g", 6);
  table_.forgetShown();
  table_.forgetShown();
  EXPECT_THAT(table_.takeOffShow(), ElementsAre("g"));
  EXPECT_THAT(table_.removeAll(), IsEmpty());
  EXPECT_THAT(table_.takeOffShow(), IsEmpty());
}

}  // namespace
}  // namespace quorvane::platform::notifications::internal
