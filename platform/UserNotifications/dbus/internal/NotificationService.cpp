#include "platform/UserNotifications/dbus/internal/NotificationService.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <utility>

namespace quorvane::platform::notifications::internal {

namespace {

constexpr const char* kLocalService = "org.freedesktop.DBus.Local";
constexpr const char* kLocalPath = "/org/freedesktop/DBus/Local";
constexpr const char* kInvalidArgsError = "org.freedesktop.DBus.Error.InvalidArgs";
constexpr const char* kNameOwnerChangedRule =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
    "arg0='org.freedesktop.Notifications'";
constexpr const char* kNoAppIcon = "";

void reportCallbackError(const char* what) {
  std::fprintf(stderr, "usernotifications: handling a D-Bus message failed: %s\n", what);
}

// Runs `handler` for a message sd-bus hands over; no exception crosses back
// into sd-bus.
template <typename Handler>
int guarded(Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& ex) {
    reportCallbackError(ex.what());
  } catch (...) {
    reportCallbackError("a non-standard exception");
  }
  return 0;
}

template <void (NotificationService::*Handler)(sd_bus_message*)>
int onSignal(sd_bus_message* message, void* service, sd_bus_error*) {
  return guarded([&] { (static_cast<NotificationService*>(service)->*Handler)(message); });
}

// One call waiting for its reply. sd-bus owns it through the call's floating
// slot and destroys it once the reply was handled or the connection freed.
struct PendingCall {
  using ReplyHandler = std::function<void(const sd_bus_error*, sd_bus_message*)>;

  PendingCall(ReplyHandler handler, WorkCount& work) : onReply(std::move(handler)), work(work) {
    work.begin();
  }
  ~PendingCall() { work.end(); }

  static int replied(sd_bus_message* reply, void* pending, sd_bus_error*) {
    ReplyHandler handler = std::exchange(static_cast<PendingCall*>(pending)->onReply, nullptr);
    return guarded([&] {
      const sd_bus_error* error = sd_bus_message_is_method_error(reply, nullptr)
                                      ? sd_bus_message_get_error(reply)
                                      : nullptr;
      if (handler) {
        handler(error, reply);
      }
    });
  }
  static void destroyed(void* pending) { delete static_cast<PendingCall*>(pending); }

  ReplyHandler onReply;
  WorkCount& work;
};

bool holdsNul(const std::string& text) { return text.find('\0') != std::string::npos; }

// Builds the Notify call; a negative errno when a text cannot be sent.
int newNotify(sd_bus* bus, const NotifyCall& call, BusMessagePtr& message) {
  sd_bus_message* m = nullptr;
  int r = sd_bus_message_new_method_call(bus, &m, kServiceName, kServicePath, kServiceInterface,
                                         "Notify");
  if (r < 0) {
    return r;
  }
  message.reset(m);
  if (holdsNul(call.appName) || holdsNul(call.summary) || holdsNul(call.body)) {
    return -EINVAL;
  }
  r = sd_bus_message_append(m, "susss", call.appName.c_str(), call.replacesId, kNoAppIcon,
                            call.summary.c_str(), call.body.c_str());
  r = r < 0 ? r : sd_bus_message_open_container(m, 'a', "s");
  for (const auto& [key, label] : call.actions) {
    if (r >= 0 && (holdsNul(key) || holdsNul(label))) {
      r = -EINVAL;
    }
    r = r < 0 ? r : sd_bus_message_append(m, "ss", key.c_str(), label.c_str());
  }
  r = r < 0 ? r : sd_bus_message_close_container(m);
  r = r < 0 ? r : sd_bus_message_open_container(m, 'a', "{sv}");
  if (call.suppressSound) {
    r = r < 0 ? r : sd_bus_message_append(m, "{sv}", kSuppressSoundHint, "b", 1);
  }
  if (!call.soundName.empty()) {
    r = r < 0 ? r : sd_bus_message_append(m, "{sv}", kSoundNameHint, "s", call.soundName.c_str());
  }
  r = r < 0 ? r : sd_bus_message_close_container(m);
  return r < 0 ? r : sd_bus_message_append(m, "i", call.expireTimeout);
}

std::optional<ServerCapabilities> readCapabilities(sd_bus_message* reply) {
  ServerCapabilities capabilities;
  if (sd_bus_message_enter_container(reply, 'a', "s") < 0) {
    return capabilities;  // an answer, if a strange one: the server is there
  }
  const char* name = nullptr;
  while (sd_bus_message_read(reply, "s", &name) > 0) {
    capabilities.names.emplace(name);
  }
  return capabilities;
}

std::uint64_t microseconds(std::chrono::milliseconds timeout) {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(timeout).count());
}

}  // namespace

NotificationService::NotificationService(sd_event* event, ServiceOptions options, Sinks sinks,
                                         WorkCount& work)
    : event_(event), options_(std::move(options)), sinks_(std::move(sinks)), work_(work) {}

NotificationService::~NotificationService() {
  reporting_ = false;
  release();
}

void NotificationService::add(Delivery delivery, AddDone done) {
  const DeliveredTable::Ticket ticket = table_.begin(std::move(delivery));
  // connection() first: making a new connection forgets what was known.
  if (connection() != nullptr && known_) {
    sendNotify(ticket, *known_, std::move(done));
    return;
  }
  queryCapabilities(
      [this, ticket, done = std::move(done)](std::optional<ServerCapabilities> server) mutable {
        sendNotify(ticket, server, std::move(done));
      });
}

void NotificationService::remove(const std::vector<std::string>& identifiers) {
  close(table_.remove(identifiers));
  reportOffShow();
}

void NotificationService::removeAll() {
  close(table_.removeAll());
  reportOffShow();
}

void NotificationService::queryCapabilities(CapabilitiesDone done) {
  sd_bus* bus = connection();
  sd_bus_message* message = nullptr;
  if (bus == nullptr || sd_bus_message_new_method_call(bus, &message, kServiceName, kServicePath,
                                                       kServiceInterface, "GetCapabilities") < 0) {
    done(std::nullopt);
    return;
  }
  const std::uint64_t generation = serverGeneration_;
  call(
      BusMessagePtr(message), options_.presenceTimeout,
      [this, generation, done = std::move(done)](const sd_bus_error* error, sd_bus_message* reply) {
        std::optional<ServerCapabilities> server;
        if (error == nullptr) {
          server = readCapabilities(reply);
        } else if (!isNoServiceError(error->name != nullptr ? error->name : "")) {
          server = ServerCapabilities{};
        }
        if (generation == serverGeneration_) {
          known_ = server;
        }
        done(std::move(server));
      });
}

sd_bus* NotificationService::connection() {
  readPending();
  if (bus_ != nullptr && !sd_bus_is_open(bus_)) {
    release();
  }
  if (bus_ == nullptr) {
    connect();
  }
  return bus_;
}

// The event loop may not have looked at the connection since its other end
// went away (a restarted bus): read what is pending first, so that the end of
// file closes it here and the request goes out on a new connection instead of
// being answered "no server" by the dead one. Not while this connection is
// dispatching a message (sd-bus does not nest processing).
void NotificationService::readPending() {
  if (bus_ == nullptr || sd_bus_get_current_message(bus_) != nullptr) {
    return;
  }
  while (sd_bus_is_open(bus_) > 0 && sd_bus_process(bus_, nullptr) > 0) {
  }
}

void NotificationService::connect() {
  sd_bus* bus = nullptr;
  int r = 0;
  if (options_.busAddress.empty()) {
    r = sd_bus_open_user(&bus);
  } else {
    r = sd_bus_new(&bus);
    r = r < 0 ? r : sd_bus_set_address(bus, options_.busAddress.c_str());
    r = r < 0 ? r : sd_bus_set_bus_client(bus, 1);
    r = r < 0 ? r : sd_bus_start(bus);
  }
  r = r < 0 ? r : sd_bus_attach_event(bus, event_, SD_EVENT_PRIORITY_NORMAL);
  if (r < 0) {
    sd_bus_close_unref(bus);
    return;
  }
  bus_ = bus;
  forgetServer();
  if (!subscribe()) {
    release();
  }
}

bool NotificationService::subscribe() {
  return sd_bus_match_signal_async(
             bus_, nullptr, kServiceName, kServicePath, kServiceInterface, "ActionInvoked",
             &onSignal<&NotificationService::onActionInvoked>, nullptr, this) >= 0 &&
         sd_bus_match_signal_async(
             bus_, nullptr, kServiceName, kServicePath, kServiceInterface, "NotificationReplied",
             &onSignal<&NotificationService::onNotificationReplied>, nullptr, this) >= 0 &&
         sd_bus_match_signal_async(
             bus_, nullptr, kServiceName, kServicePath, kServiceInterface, "NotificationClosed",
             &onSignal<&NotificationService::onNotificationClosed>, nullptr, this) >= 0 &&
         sd_bus_add_match_async(bus_, nullptr, kNameOwnerChangedRule,
                                &onSignal<&NotificationService::onNameOwnerChanged>, nullptr,
                                this) >= 0 &&
         sd_bus_match_signal_async(bus_, nullptr, kLocalService, kLocalPath, kLocalService,
                                   "Disconnected", &onSignal<&NotificationService::onDisconnected>,
                                   nullptr, this) >= 0;
}

void NotificationService::release() {
  if (bus_ == nullptr) {
    return;
  }
  sd_bus* bus = std::exchange(bus_, nullptr);
  // A connection that died has answers for its unanswered calls queued; hand
  // them out before letting it go, so that every `done` is called.
  if (!sd_bus_is_open(bus)) {
    while (sd_bus_process(bus, nullptr) > 0) {
    }
  }
  sd_bus_detach_event(bus);
  sd_bus_close_unref(bus);
  forgetServer();
}

void NotificationService::call(BusMessagePtr message, std::chrono::milliseconds timeout,
                               ReplyHandler onReply) {
  auto* pending = new PendingCall(std::move(onReply), work_);
  sd_bus_slot* slot = nullptr;
  const int r = sd_bus_call_async(bus_, &slot, message.get(), &PendingCall::replied, pending,
                                  microseconds(timeout));
  if (r < 0) {
    ReplyHandler handler = std::exchange(pending->onReply, nullptr);
    delete pending;
    BusError error;
    sd_bus_error_set_errno(error.get(), r);
    handler(&*error, nullptr);
    return;
  }
  sd_bus_slot_set_destroy_callback(slot, &PendingCall::destroyed);
  sd_bus_slot_set_floating(slot, 1);
  sd_bus_slot_unref(slot);
}

void NotificationService::sendNotify(DeliveredTable::Ticket ticket,
                                     std::optional<ServerCapabilities> server, AddDone done) {
  if (!table_.wanted(ticket)) {
    table_.notSent(ticket);
    done(std::nullopt);
    reportOffShow();
    return;
  }
  sd_bus* bus = server ? connection() : nullptr;
  if (bus == nullptr) {
    table_.dropped(ticket);
    done(notificationsNotAllowedError());
    return;
  }
  NotifyCall notify = notifyCallFor(*table_.pendingDelivery(ticket), *server);
  notify.appName = options_.applicationName;
  notify.replacesId = table_.replacesIdFor(ticket);
  BusMessagePtr message;
  if (const int r = newNotify(bus, notify, message); r < 0) {
    table_.dropped(ticket);
    done(PlatformError{kInvalidArgsError, -r,
                       std::string("The notification cannot be sent: ") + std::strerror(-r)});
    return;
  }
  call(std::move(message), options_.callTimeout,
       [this, ticket, done = std::move(done)](const sd_bus_error* error, sd_bus_message* reply) {
         notifyAnswered(ticket, error, reply, done);
       });
}

void NotificationService::notifyAnswered(DeliveredTable::Ticket ticket, const sd_bus_error* error,
                                         sd_bus_message* reply, const AddDone& done) {
  std::uint32_t serverId = 0;
  BusError unreadable;
  if (error == nullptr) {
    if (const int r = sd_bus_message_read(reply, "u", &serverId); r < 0) {
      sd_bus_error_set_errno(unreadable.get(), r);
      error = &*unreadable;
    }
  }
  if (error != nullptr) {
    table_.dropped(ticket);
    done(isNoOwnerError(error->name != nullptr ? error->name : "") ? notificationsNotAllowedError()
                                                                   : platformErrorOf(*error));
    return;
  }
  close(table_.shown(ticket, serverId));
  done(std::nullopt);
  reportOffShow();
}

void NotificationService::close(const std::vector<ServerId>& serverIds) {
  if (serverIds.empty() || connection() == nullptr) {
    return;
  }
  for (const ServerId serverId : serverIds) {
    sd_bus_message* message = nullptr;
    if (sd_bus_message_new_method_call(bus_, &message, kServiceName, kServicePath,
                                       kServiceInterface, "CloseNotification") < 0) {
      return;
    }
    BusMessagePtr owned(message);
    if (sd_bus_message_append(message, "u", serverId) >= 0) {
      call(std::move(owned), options_.callTimeout, [](const sd_bus_error*, sd_bus_message*) {});
    }
  }
}

void NotificationService::forgetServer() {
  known_.reset();
  ++serverGeneration_;
  table_.forgetShown();
  reportOffShow();
}

void NotificationService::reportOffShow() {
  std::vector<std::string> identifiers = table_.takeOffShow();
  if (!identifiers.empty() && reporting_ && sinks_.onOffShow) {
    sinks_.onOffShow(std::move(identifiers));
  }
}

void NotificationService::onActionInvoked(sd_bus_message* signal) {
  respondTo(signal, &responseToAction);
}

void NotificationService::onNotificationReplied(sd_bus_message* signal) {
  respondTo(signal, &responseToReply);
}

void NotificationService::respondTo(sd_bus_message* signal, ResponseMapping mapping) {
  std::uint32_t serverId = 0;
  const char* text = nullptr;
  if (sd_bus_message_read(signal, "us", &serverId, &text) < 0) {
    return;
  }
  const Delivery* delivery = table_.deliveryShownAs(serverId);
  std::optional<NotificationResponse> response =
      delivery != nullptr ? mapping(*delivery, text) : std::nullopt;
  if (response && sinks_.onResponse) {
    sinks_.onResponse(std::move(*response));
  }
}

void NotificationService::onNotificationClosed(sd_bus_message* signal) {
  std::uint32_t serverId = 0;
  std::uint32_t reason = 0;
  if (sd_bus_message_read(signal, "uu", &serverId, &reason) >= 0) {
    table_.closedByServer(serverId);
    reportOffShow();
  }
}

void NotificationService::onNameOwnerChanged(sd_bus_message* signal) {
  const char* name = nullptr;
  const char* oldOwner = nullptr;
  const char* newOwner = nullptr;
  if (sd_bus_message_read(signal, "sss", &name, &oldOwner, &newOwner) < 0) {
    return;
  }
  known_.reset();
  ++serverGeneration_;
  if (oldOwner != nullptr && *oldOwner != '\0') {
    table_.forgetShown();
    reportOffShow();
  }
}

void NotificationService::onDisconnected(sd_bus_message*) { forgetServer(); }

}  // namespace quorvane::platform::notifications::internal
