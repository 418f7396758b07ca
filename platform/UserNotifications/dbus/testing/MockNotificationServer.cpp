#include "platform/UserNotifications/dbus/testing/MockNotificationServer.h"

#include <cstdarg>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quorvane::platform::notifications::test {

namespace {

constexpr const char* kName = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kMockInterface = "org.freedesktop.DBus.Mock";

std::string readAll(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void check(int r, const std::string& what, const sd_bus_error* error = nullptr) {
  if (r < 0) {
    throw std::runtime_error(
        what + " failed: " +
        (error != nullptr && error->message != nullptr ? error->message : std::to_string(r)));
  }
}

struct MessageRelease {
  void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using Message = std::unique_ptr<sd_bus_message, MessageRelease>;

bool ownsName(sd_bus* bus) {
  sd_bus_message* reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  int owned = 0;
  const int r =
      sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s", kName);
  if (r >= 0) {
    sd_bus_message_read(reply, "b", &owned);
  }
  sd_bus_message_unref(reply);
  sd_bus_error_free(&error);
  return owned != 0;
}

std::string hintText(sd_bus_message* m) {
  char type = 0;
  const char* contents = nullptr;
  check(sd_bus_message_peek_type(m, &type, &contents), "peek hint");
  check(sd_bus_message_enter_container(m, 'v', contents), "enter hint");
  std::string text(contents);
  if (text == "b") {
    int value = 0;
    check(sd_bus_message_read(m, "b", &value), "read hint");
    text = value != 0 ? "true" : "false";
  } else if (text == "s") {
    const char* value = nullptr;
    check(sd_bus_message_read(m, "s", &value), "read hint");
    text = value;
  } else {
    check(sd_bus_message_skip(m, contents), "skip hint");
  }
  check(sd_bus_message_exit_container(m), "leave hint");
  return text;
}

// Reads one logged Notify call: a variant array of its eight arguments.
NotifyArguments readNotify(sd_bus_message* m) {
  NotifyArguments call;
  const char* text[4] = {};
  check(sd_bus_message_enter_container(m, 'a', "v"), "enter arguments");
  check(sd_bus_message_read(m, "v", "s", &text[0]), "app name");
  check(sd_bus_message_read(m, "v", "u", &call.replacesId), "replaces id");
  check(sd_bus_message_read(m, "v", "s", &text[1]), "icon");
  check(sd_bus_message_read(m, "v", "s", &text[2]), "summary");
  check(sd_bus_message_read(m, "v", "s", &text[3]), "body");
  call.appName = text[0];
  call.appIcon = text[1];
  call.summary = text[2];
  call.body = text[3];
  check(sd_bus_message_enter_container(m, 'v', "as"), "actions");
  check(sd_bus_message_enter_container(m, 'a', "s"), "actions");
  const char* action = nullptr;
  while (sd_bus_message_read(m, "s", &action) > 0) {
    call.actions.emplace_back(action);
  }
  check(sd_bus_message_exit_container(m), "actions");
  check(sd_bus_message_exit_container(m), "actions");
  check(sd_bus_message_enter_container(m, 'v', "a{sv}"), "hints");
  check(sd_bus_message_enter_container(m, 'a', "{sv}"), "hints");
  while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
    const char* key = nullptr;
    check(sd_bus_message_read(m, "s", &key), "hint name");
    call.hints[key] = hintText(m);
    check(sd_bus_message_exit_container(m), "hint");
  }
  check(sd_bus_message_exit_container(m), "hints");
  check(sd_bus_message_exit_container(m), "hints");
  check(sd_bus_message_read(m, "v", "i", &call.expireTimeout), "expire timeout");
  check(sd_bus_message_exit_container(m), "arguments");
  return call;
}

// Reads the one argument of a logged CloseNotification call.
std::uint32_t readClose(sd_bus_message* m) {
  check(sd_bus_message_enter_container(m, 'a', "v"), "enter arguments");
  char type = 0;
  const char* contents = nullptr;
  check(sd_bus_message_peek_type(m, &type, &contents), "close argument");
  std::uint32_t id = 0;
  if (std::string(contents) == "i") {
    std::int32_t signedId = 0;
    check(sd_bus_message_read(m, "v", "i", &signedId), "close id");
    id = static_cast<std::uint32_t>(signedId);
  } else {
    check(sd_bus_message_read(m, "v", "u", &id), "close id");
  }
  check(sd_bus_message_exit_container(m), "arguments");
  return id;
}

template <typename Read>
auto readCalls(sd_bus_message* reply, Read read) {
  std::vector<decltype(read(reply))> calls;
  check(sd_bus_message_enter_container(reply, 'a', "(tav)"), "enter calls");
  while (sd_bus_message_enter_container(reply, 'r', "tav") > 0) {
    std::uint64_t timestamp = 0;
    check(sd_bus_message_read(reply, "t", &timestamp), "timestamp");
    calls.push_back(read(reply));
    check(sd_bus_message_exit_container(reply), "call");
  }
  return calls;
}

}  // namespace

MockNotificationServer::MockNotificationServer(const PrivateSessionBus& bus,
                                               const std::string& capabilities)
    : output_(bus.pathOf("mock-notification-server.log")) {
  sd_bus* control = nullptr;
  check(sd_bus_new(&control), "sd_bus_new");
  control_.reset(control);
  check(sd_bus_set_address(control, bus.address().c_str()), "sd_bus_set_address");
  check(sd_bus_set_bus_client(control, 1), "sd_bus_set_bus_client");
  check(sd_bus_start(control), "sd_bus_start");
  const std::string parameters = "{\"capabilities\": \"" + capabilities + "\"}";
  process_ = std::make_unique<SpawnedProcess>(
      std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--session", "--template",
                               "notification_daemon", "--parameters", parameters},
      std::vector<std::string>{"DBUS_SESSION_BUS_ADDRESS=" + bus.address()}, output_);
  if (!pollUntil([&] { return !process_->running() || ownsName(control_.get()); }) ||
      !process_->running()) {
    throw std::runtime_error("the mock notification server did not start: " + readAll(output_));
  }
}

MockNotificationServer::~MockNotificationServer() { stop(); }

void MockNotificationServer::stop() {
  process_->stop();
  pollUntil([&] { return !ownsName(control_.get()); });
}

sd_bus_message* MockNotificationServer::callMock(const char* member, const char* types, ...) {
  sd_bus_message* call = nullptr;
  check(sd_bus_message_new_method_call(control_.get(), &call, kName, kPath, kMockInterface, member),
        member);
  Message owned(call);
  va_list arguments;
  va_start(arguments, types);
  const int r = types != nullptr ? sd_bus_message_appendv(call, types, arguments) : 0;
  va_end(arguments);
  check(r, member);
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  const int called = sd_bus_call(control_.get(), call, 0, &error, &reply);
  const std::string message = error.message != nullptr ? error.message : "";
  sd_bus_error_free(&error);
  if (called < 0) {
    throw std::runtime_error(std::string(member) + " failed: " + message);
  }
  return reply;
}

sd_bus_message* MockNotificationServer::methodCalls(const char* method) {
  return callMock("GetMethodCalls", "s", method);
}

std::vector<NotifyArguments> MockNotificationServer::notifyCalls() {
  Message reply(methodCalls("Notify"));
  return readCalls(reply.get(), readNotify);
}

std::vector<std::uint32_t> MockNotificationServer::closeCalls() {
  Message reply(methodCalls("CloseNotification"));
  return readCalls(reply.get(), readClose);
}

std::vector<NotifyArguments> MockNotificationServer::waitForNotifyCalls(std::size_t count) {
  std::vector<NotifyArguments> calls;
  if (!pollUntil([&] { return (calls = notifyCalls()).size() >= count; })) {
    throw std::runtime_error("only " + std::to_string(calls.size()) + " Notify calls arrived");
  }
  return calls;
}

std::vector<std::uint32_t> MockNotificationServer::waitForCloseCalls(std::size_t count) {
  std::vector<std::uint32_t> calls;
  if (!pollUntil([&] { return (calls = closeCalls()).size() >= count; })) {
    throw std::runtime_error("only " + std::to_string(calls.size()) +
                             " CloseNotification calls arrived");
  }
  return calls;
}

void MockNotificationServer::emit(const std::string& signal, std::uint32_t id,
                                  const std::string& text) {
  Message reply(
      callMock("EmitSignal", "sssav", "", signal.c_str(), "us", 2, "u", id, "s", text.c_str()));
}

void MockNotificationServer::emitClosed(std::uint32_t id, std::uint32_t reason) {
  Message reply(
      callMock("EmitSignal", "sssav", "", "NotificationClosed", "uu", 2, "u", id, "u", reason));
}

void MockNotificationServer::replaceMethod(const std::string& name, const std::string& inSignature,
                                           const std::string& outSignature,
                                           const std::string& code) {
  Message reply(callMock("AddMethod", "sssss", "", name.c_str(), inSignature.c_str(),
                         outSignature.c_str(), code.c_str()));
}

}  // namespace quorvane::platform::notifications::test
