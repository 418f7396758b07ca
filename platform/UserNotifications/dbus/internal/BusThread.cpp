#include "platform/UserNotifications/dbus/internal/BusThread.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "platform/pthread/ThreadNameShim.h"

namespace quorvane::platform::notifications::internal {

namespace {

constexpr const char* kThreadName = "un_dbus_bus";

void throwIfFailed(int result, const char* what) {
  if (result < 0) {
    throw std::system_error(-result, std::generic_category(), what);
  }
}

void runReportingExceptions(const BusThread::Request& request, NotificationService& service) {
  try {
    request(service);
  } catch (const std::exception& ex) {
    std::fprintf(stderr, "usernotifications: a request on the bus thread threw: %s\n", ex.what());
  } catch (...) {
    std::fprintf(stderr,
                 "usernotifications: a request on the bus thread threw a non-standard value\n");
  }
}

}  // namespace

BusThread::BusThread(ServiceOptions options, NotificationService::Sinks sinks) {
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    throw std::system_error(errno, std::generic_category(), "eventfd for the D-Bus thread");
  }
  try {
    sd_event* event = nullptr;
    throwIfFailed(sd_event_new(&event), "sd_event_new for the D-Bus thread");
    event_.reset(event);
    sd_event_source* source = nullptr;
    throwIfFailed(sd_event_add_io(event, &source, wakeFd_, EPOLLIN, &BusThread::onWake, this),
                  "sd_event_add_io for the D-Bus thread");
    wakeSource_.reset(source);
    thread_ = std::thread([this, options = std::move(options), sinks = std::move(sinks)]() mutable {
      run(std::move(options), std::move(sinks));
    });
  } catch (...) {
    wakeSource_.reset();
    event_.reset();
    ::close(wakeFd_);
    throw;
  }
}

BusThread::~BusThread() {
  stop();
  wakeSource_.reset();
  event_.reset();
  ::close(wakeFd_);
}

void BusThread::post(Request request) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
      return;  // `request` is destroyed here, unrun
    }
    queue_.push_back(std::move(request));
    work_.begin();
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void BusThread::waitUntilIdle() {
  if (std::this_thread::get_id() == thread_.get_id()) {
    throw std::logic_error("waitUntilIdle called on the D-Bus thread would wait for itself");
  }
  work_.waitUntilNone();
}

void BusThread::stop() {
  {
    std::lock_guard<std::mutex> lock(stopMutex_);
    if (stopClaimed_) {
      return;
    }
    stopClaimed_ = true;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
  if (!thread_.joinable()) {
    return;
  }
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

int BusThread::onWake(sd_event_source*, int fd, std::uint32_t, void* self) {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t read = ::read(fd, &count, sizeof count);
  static_cast<BusThread*>(self)->runQueued();
  return 0;
}

void BusThread::runQueued() {
  std::deque<Request> requests;
  bool stopping = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests.swap(queue_);
    stopping = stopping_;
  }
  const std::size_t count = requests.size();
  if (!stopping) {
    for (const Request& request : requests) {
      runReportingExceptions(request, *service_);
    }
  }
  requests.clear();
  work_.end(count);
  if (stopping) {
    // Closes the connection before the loop ends, so that sd-bus does not try
    // to write out its queue to a server that may not read it.
    service_.reset();
    sd_event_exit(event_.get(), 0);
  }
}

void BusThread::run(ServiceOptions options, NotificationService::Sinks sinks) {
  setCurrentThreadName(kThreadName);
  service_.emplace(event_.get(), std::move(options), std::move(sinks), work_);
  if (const int r = sd_event_loop(event_.get()); r < 0) {
    std::fprintf(stderr, "usernotifications: the D-Bus thread's event loop failed: %s\n",
                 std::system_category().message(-r).c_str());
  }
  service_.reset();
  std::deque<Request> unrun;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    unrun.swap(queue_);
  }
  const std::size_t count = unrun.size();
  unrun.clear();
  work_.end(count);
}

}  // namespace quorvane::platform::notifications::internal
