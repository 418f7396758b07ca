#pragma once

// MockNotificationServer: a stand-in for a desktop's notification server on a
// test's bus: python3-dbusmock's notification-daemon template, run by the
// system's python (/usr/bin/python3) with the given capabilities. Its
// org.freedesktop.DBus.Mock interface lets the test read the calls it got,
// emit the server's signals and replace its methods.
//
// The constructor returns once the server owns org.freedesktop.Notifications,
// or throws std::runtime_error (with the mock's output) after kStartLimit.
// Every control call throws std::runtime_error with the D-Bus error when it
// fails. stop() (and the destructor) ends the mock; its name leaves the bus.
//
// Thread safety: one test thread owns it.

#include <systemd/sd-bus.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/UserNotifications/dbus/testing/PrivateSessionBus.h"
#include "platform/UserNotifications/dbus/testing/SpawnedProcess.h"

namespace quorvane::platform::notifications::test {

// The capabilities of a server that offers what the backend can use.
inline constexpr const char* kFullCapabilities = "actions body body-markup inline-reply sound";

// One Notify call as the server received it. Hint values are shown as text:
// booleans "true"/"false", strings as they are, other types by their D-Bus
// type letter.
struct NotifyArguments {
  std::string appName;
  std::uint32_t replacesId = 0;
  std::string appIcon;
  std::string summary;
  std::string body;
  std::vector<std::string> actions;
  std::map<std::string, std::string> hints;
  std::int32_t expireTimeout = 0;
};

class MockNotificationServer {
 public:
  MockNotificationServer(const PrivateSessionBus& bus, const std::string& capabilities);
  ~MockNotificationServer();
  MockNotificationServer(const MockNotificationServer&) = delete;
  MockNotificationServer& operator=(const MockNotificationServer&) = delete;

  std::vector<NotifyArguments> notifyCalls();
  // The ids of the CloseNotification calls, in order.
  std::vector<std::uint32_t> closeCalls();
  // Polls until at least `count` calls arrived; throws after kStartLimit.
  std::vector<NotifyArguments> waitForNotifyCalls(std::size_t count);
  std::vector<std::uint32_t> waitForCloseCalls(std::size_t count);

  // Emits a signal of the server with a notification id and a text
  // (ActionInvoked, NotificationReplied).
  void emit(const std::string& signal, std::uint32_t id, const std::string& text);
  // Emits NotificationClosed (1 expired, 2 dismissed by the user, 3 closed by
  // a call).
  void emitClosed(std::uint32_t id, std::uint32_t reason);
  // Replaces a method of the server with python code (see dbusmock's AddMethod).
  void replaceMethod(const std::string& name, const std::string& inSignature,
                     const std::string& outSignature, const std::string& code);

  void stop();

 private:
  sd_bus_message* callMock(const char* member, const char* types, ...);
  sd_bus_message* methodCalls(const char* method);

  struct BusRelease {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
  };

  std::string output_;
  std::unique_ptr<sd_bus, BusRelease> control_;
  std::unique_ptr<SpawnedProcess> process_;
};

}  // namespace quorvane::platform::notifications::test
