#pragma once

// NotificationService: the application's side of the desktop's notification
// service, on the bus thread (BusThread.h): the connection to the session bus,
// what the server can do, what it shows for the application
// (DeliveredTable.h), and its signals turned into responses.
//
// Connection. Made on first use: to `busAddress`, or to the session bus
// (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus) when that is empty.
// Every bus step is asynchronous; nothing here waits for the bus. A connection
// that cannot be made, or that was lost, is tried again by the next request.
// Without one the service stands for a system that denies notifications.
//
// Presence. queryCapabilities asks the server afresh (GetCapabilities,
// answered within `presenceTimeout`): a server that answers is present, also
// when it answers with an error of its own; no answer (nobody owns
// org.freedesktop.Notifications, no reply in time, no bus) means none is.
// The answer is kept for adds until the owner of the name changes
// (NameOwnerChanged) or the connection is lost; an add with nothing kept asks
// first.
//
// add: sends Notify (NotifyMapping.h) with the application name, replacing
// what the identifier shows; done(error) gets nothing on success,
// notificationsNotAllowedError() when there is no service, texts that cannot
// travel on the bus (a NUL, invalid UTF-8) as
// "org.freedesktop.DBus.Error.InvalidArgs", otherwise the error of the call
// (platformErrorOf). An add overtaken before it was sent by a newer add of its
// identifier or by its removal is not sent, and succeeds.
// remove / removeAll: CloseNotification for every server id the identifiers
// show (DeliveredTable.h), sent after everything asked before.
//
// Signals of the server: ActionInvoked and NotificationReplied for this
// application's notifications become responses for `onResponse`;
// NotificationClosed forgets the notification.
//
// Off show. `onOffShow` gets the identifiers of the notifications that went
// off show (DeliveredTable::takeOffShow: replaced, removed, closed by the
// server, gone with the server or the connection, or not sent), right after
// the step that took them away: after the `done` of the add that replaced or
// did not send them, after the response of a signal that came before their
// NotificationClosed. Every add whose `done` got no error is reported once,
// unless the service is destroyed first (nothing is reported then).
//
// Callbacks. Each `done` is called exactly once on the bus thread (possibly
// inside the call given it), also when the connection dies with the call
// unanswered (then with the error sd-bus reports), unless the service is
// destroyed first: calls unanswered then are dropped with their `done`.
// `onResponse` and `onOffShow` are called on the bus thread. Callbacks must
// not call into the service.
//
// Thread safety: none; made, used and destroyed on the bus thread.

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/UserNotifications/PlatformError.h"
#include "platform/UserNotifications/dbus/internal/DeliveredTable.h"
#include "platform/UserNotifications/dbus/internal/NotifyMapping.h"
#include "platform/UserNotifications/dbus/internal/SdBus.h"
#include "platform/UserNotifications/dbus/internal/WorkCount.h"

namespace quorvane::platform::notifications::internal {

struct ServiceOptions {
  std::string busAddress;
  std::string applicationName;
  std::chrono::milliseconds presenceTimeout{0};
  std::chrono::milliseconds callTimeout{0};
};

class NotificationService {
 public:
  using AddDone = std::function<void(std::optional<PlatformError> error)>;
  using CapabilitiesDone = std::function<void(std::optional<ServerCapabilities> server)>;
  using ResponseSink = std::function<void(NotificationResponse response)>;
  using OffShowSink = std::function<void(std::vector<std::string> identifiers)>;
  struct Sinks {
    ResponseSink onResponse;
    OffShowSink onOffShow;
  };

  // `work` counts the calls in flight; it must outlive the service.
  NotificationService(sd_event* event, ServiceOptions options, Sinks sinks, WorkCount& work);
  ~NotificationService();
  NotificationService(const NotificationService&) = delete;
  NotificationService& operator=(const NotificationService&) = delete;

  void add(Delivery delivery, AddDone done);
  void remove(const std::vector<std::string>& identifiers);
  void removeAll();
  void queryCapabilities(CapabilitiesDone done);

 private:
  using ReplyHandler = std::function<void(const sd_bus_error* error, sd_bus_message* reply)>;
  using ServerId = DeliveredTable::ServerId;

  sd_bus* connection();
  void readPending();
  void connect();
  bool subscribe();
  void release();
  void call(BusMessagePtr message, std::chrono::milliseconds timeout, ReplyHandler onReply);
  void sendNotify(DeliveredTable::Ticket ticket, std::optional<ServerCapabilities> server,
                  AddDone done);
  void notifyAnswered(DeliveredTable::Ticket ticket, const sd_bus_error* error,
                      sd_bus_message* reply, const AddDone& done);
  void close(const std::vector<ServerId>& serverIds);
  void forgetServer();
  void reportOffShow();

  void onActionInvoked(sd_bus_message* signal);
  void onNotificationReplied(sd_bus_message* signal);
  void onNotificationClosed(sd_bus_message* signal);
  void onNameOwnerChanged(sd_bus_message* signal);
  void onDisconnected(sd_bus_message* signal);
  using ResponseMapping = std::optional<NotificationResponse> (*)(const Delivery&,
                                                                  std::string_view);
  // ActionInvoked and NotificationReplied carry (server id, action key or text).
  void respondTo(sd_bus_message* signal, ResponseMapping mapping);

  sd_event* const event_;
  const ServiceOptions options_;
  const Sinks sinks_;
  bool reporting_ = true;  // false once the service is being destroyed
  WorkCount& work_;
  sd_bus* bus_ = nullptr;
  // What the server answered last: absent (no service) or its capabilities.
  // Empty while unknown.
  std::optional<std::optional<ServerCapabilities>> known_;
  // Changes with every new connection and owner of the service's name, so an
  // answer from before does not become the kept one.
  std::uint64_t serverGeneration_ = 0;
  DeliveredTable table_;
};

}  // namespace quorvane::platform::notifications::internal
