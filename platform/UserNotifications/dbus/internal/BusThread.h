#pragma once

// BusThread: the one thread that owns the D-Bus backend's connection (sd-bus
// objects are not thread-safe): an sd-event loop running the
// NotificationService, woken through an eventfd for requests from other
// threads.
//
// Who may call what:
// - post: any thread, at any time. The request runs later on the bus thread,
//   in the order posted, never inside post. After stop it is destroyed unrun,
//   on the calling thread.
// - waitUntilIdle: any thread but the bus thread (std::logic_error there).
//   Returns once every request posted before has run and every call it sent
//   has been answered. idle(): whether that is so now.
// - stop: any thread; idempotent. The bus thread finishes the request it
//   runs, destroys the queued ones unrun, closes the connection (calls still
//   unanswered are dropped with their callbacks, NotificationService.h) and
//   ends; the first caller joins it. The destructor stops.
//
// The constructor throws std::system_error when the eventfd, the event loop or
// the thread cannot be made. The thread is named "un_dbus_bus"; it connects
// to the bus only when a request needs it.

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/UserNotifications/dbus/internal/NotificationService.h"
#include "platform/UserNotifications/dbus/internal/SdBus.h"
#include "platform/UserNotifications/dbus/internal/WorkCount.h"

namespace quorvane::platform::notifications::internal {

class BusThread {
 public:
  using Request = std::function<void(NotificationService& service)>;

  BusThread(ServiceOptions options, NotificationService::Sinks sinks);
  ~BusThread();
  BusThread(const BusThread&) = delete;
  BusThread& operator=(const BusThread&) = delete;

  void post(Request request);
  void waitUntilIdle();
  bool idle() const { return work_.none(); }
  void stop();

 private:
  static int onWake(sd_event_source* source, int fd, std::uint32_t events, void* self);
  void runQueued();
  void run(ServiceOptions options, NotificationService::Sinks sinks);

  WorkCount work_;
  int wakeFd_ = -1;
  EventPtr event_;
  EventSourcePtr wakeSource_;
  std::optional<NotificationService> service_;  // bus thread only

  std::mutex mutex_;
  std::deque<Request> queue_;
  bool stopping_ = false;

  std::mutex stopMutex_;
  bool stopClaimed_ = false;
  std::thread thread_;
};

}  // namespace quorvane::platform::notifications::internal
