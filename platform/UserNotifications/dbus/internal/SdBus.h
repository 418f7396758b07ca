#pragma once

// Owning handles for the sd-bus and sd-event objects of the D-Bus backend, an
// owning sd_bus_error, and the reading of a D-Bus error as a PlatformError.
//
// platformErrorOf(error): domain = the D-Bus error name, code = the errno
// sd-bus maps that name to (EIO for names it does not know), description =
// the error's message (empty when it has none).
//
// Thread safety: sd-bus objects belong to the one thread that uses them; these
// handles add nothing to that.

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <memory>

#include "platform/UserNotifications/PlatformError.h"

namespace quorvane::platform::notifications::internal {

struct BusMessageRelease {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct EventRelease {
  void operator()(sd_event* event) const { sd_event_unref(event); }
};
struct EventSourceRelease {
  void operator()(sd_event_source* source) const { sd_event_source_disable_unref(source); }
};

using BusMessagePtr = std::unique_ptr<sd_bus_message, BusMessageRelease>;
using EventPtr = std::unique_ptr<sd_event, EventRelease>;
using EventSourcePtr = std::unique_ptr<sd_event_source, EventSourceRelease>;

class BusError {
 public:
  BusError() = default;
  ~BusError() { sd_bus_error_free(&error_); }
  BusError(const BusError&) = delete;
  BusError& operator=(const BusError&) = delete;

  sd_bus_error* get() { return &error_; }
  const sd_bus_error& operator*() const { return error_; }

 private:
  sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

inline PlatformError platformErrorOf(const sd_bus_error& error) {
  return PlatformError{error.name != nullptr ? error.name : "", sd_bus_error_get_errno(&error),
                       error.message != nullptr ? error.message : ""};
}

}  // namespace quorvane::platform::notifications::internal
