#include "platform/UserNotifications/dbus/testing/PrivateSessionBus.h"

#include <systemd/sd-bus.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace quorvane::platform::notifications::test {

namespace {

std::string configuration(const std::string& socketPath) {
  return R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" +
         socketPath + R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
}

bool accepts(const std::string& address) {
  sd_bus* bus = nullptr;
  int r = sd_bus_new(&bus);
  r = r < 0 ? r : sd_bus_set_address(bus, address.c_str());
  r = r < 0 ? r : sd_bus_set_bus_client(bus, 1);
  r = r < 0 ? r : sd_bus_start(bus);
  const char* unique = nullptr;
  r = r < 0 ? r : sd_bus_get_unique_name(bus, &unique);  // waits for the Hello answer
  sd_bus_flush_close_unref(bus);
  return r >= 0;
}

}  // namespace

PrivateSessionBus::PrivateSessionBus() : address_("unix:path=" + directory_.pathOf("bus")) {
  std::ofstream(directory_.pathOf("bus.conf")) << configuration(directory_.pathOf("bus"));
  start();
}

void PrivateSessionBus::restart() {
  daemon_.reset();
  std::filesystem::remove(directory_.pathOf("bus"));
  start();
}

void PrivateSessionBus::start() {
  daemon_ = std::make_unique<SpawnedProcess>(
      std::vector<std::string>{"dbus-daemon", "--config-file=" + directory_.pathOf("bus.conf"),
                               "--nofork", "--nopidfile"},
      std::vector<std::string>{}, directory_.pathOf("dbus-daemon.log"));
  if (!pollUntil([&] { return !daemon_->running() || accepts(address_); }) || !daemon_->running()) {
    throw std::runtime_error("the test's dbus-daemon did not start: " +
                             directory_.contentsOf("dbus-daemon.log"));
  }
}

}  // namespace quorvane::platform::notifications::test
