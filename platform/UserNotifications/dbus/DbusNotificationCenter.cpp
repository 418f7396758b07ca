#include "platform/UserNotifications/dbus/DbusNotificationCenter.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

#include "platform/UserNotifications/dbus/internal/BusThread.h"
#include "platform/UserNotifications/internal/DispatchLanes.h"

namespace quorvane::platform::notifications {

namespace {

constexpr const char* kCallbackThreadName = "un_dbus_cb";
// One thread: answers and responses reach the application in the order the
// server gave them.
constexpr std::size_t kCallbackThreads = 1;
constexpr OperatingSystemVersion kDesktopSystemVersion{14, 0, 0};

std::shared_ptr<DbusNotificationCenter>* sharedCenter = nullptr;

// Stops the shared instance when destroyed: at exit, or when this library is
// unloaded. A static object rather than std::atexit, whose registration
// ThreadSanitizer's interceptor ties to no shared object, so that it ran at
// exit after the library was gone (a process that loaded the library only in
// worker threads crashed at exit).
struct SharedCenterShutDown {
  ~SharedCenterShutDown() { (*sharedCenter)->shutDown(); }
};

// `completion`, called instead on the completion thread with the same
// arguments. The bus thread calls the result once.
template <typename... Args>
std::function<void(Args...)> answeredOn(internal::DispatchLanes& lanes,
                                        std::function<void(Args...)> completion) {
  return [&lanes, completion = std::move(completion)](Args... args) mutable {
    lanes.dispatch([completion = std::move(completion), ... args = std::move(args)] {
      if (completion) {
        completion(args...);
      }
    });
  };
}

internal::ServiceOptions serviceOptions(DbusNotificationCenter::Options options) {
  return internal::ServiceOptions{std::move(options.busAddress), std::move(options.applicationName),
                                  options.presenceTimeout, options.callTimeout};
}

}  // namespace

DbusNotificationCenter::DbusNotificationCenter() : DbusNotificationCenter(Options{}) {}

DbusNotificationCenter::DbusNotificationCenter(Options options)
    : lanes_(std::make_unique<internal::DispatchLanes>(kCallbackThreads, kCallbackThreadName)),
      bus_(std::make_unique<internal::BusThread>(
          serviceOptions(std::move(options)),
          internal::NotificationService::Sinks{
              [this](NotificationResponse response) { deliverResponse(std::move(response)); },
              [this](std::vector<std::string> identifiers) {
                reportOffShow(std::move(identifiers));
              }})) {}

DbusNotificationCenter::~DbusNotificationCenter() { shutDown(); }

std::shared_ptr<DbusNotificationCenter> DbusNotificationCenter::shared() {
  static const bool made = [] {
    sharedCenter =
        new std::shared_ptr<DbusNotificationCenter>(std::make_shared<DbusNotificationCenter>());
    static SharedCenterShutDown shutDownAtExit;
    return true;
  }();
  static_cast<void>(made);
  return *sharedCenter;
}

void DbusNotificationCenter::setDelegate(std::shared_ptr<NotificationCenterDelegate> delegate) {
  std::lock_guard<std::mutex> lock(mutex_);
  delegate_.swap(delegate);
  // The previous delegate is released after the lock, by `delegate`'s end.
}

std::shared_ptr<NotificationCenterDelegate> DbusNotificationCenter::delegate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return delegate_;
}

void DbusNotificationCenter::setNotificationCategories(
    std::vector<NotificationCategory> categories) {
  std::lock_guard<std::mutex> lock(mutex_);
  categories_ = std::move(categories);
}

void DbusNotificationCenter::addNotificationRequest(NotificationRequest request,
                                                    AddCompletion completion) {
  internal::Delivery delivery{std::move(request), std::nullopt};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string& wanted = delivery.request.content.categoryIdentifier;
    const auto category =
        std::find_if(categories_.begin(), categories_.end(),
                     [&](const NotificationCategory& c) { return c.identifier == wanted; });
    if (!wanted.empty() && category != categories_.end()) {
      delivery.category = *category;
    }
  }
  bus_->post([delivery = std::move(delivery), done = answeredOn(*lanes_, std::move(completion))](
                 internal::NotificationService& service) mutable {
    service.add(std::move(delivery), std::move(done));
  });
}

void DbusNotificationCenter::removeDeliveredNotifications(
    const std::vector<std::string>& identifiers) {
  bus_->post(
      [identifiers](internal::NotificationService& service) { service.remove(identifiers); });
}

void DbusNotificationCenter::removeAllDeliveredNotifications() {
  bus_->post([](internal::NotificationService& service) { service.removeAll(); });
}

void DbusNotificationCenter::getNotificationSettings(SettingsCompletion completion) {
  bus_->post([answer = answeredOn(*lanes_, std::move(completion))](
                 internal::NotificationService& service) mutable {
    service.queryCapabilities(
        [answer = std::move(answer)](std::optional<internal::ServerCapabilities> server) mutable {
          answer(internal::settingsFor(server));
        });
  });
}

void DbusNotificationCenter::requestAuthorization(AuthorizationOptions,
                                                  AuthorizationCompletion completion) {
  bus_->post([answer = answeredOn(*lanes_, std::move(completion))](
                 internal::NotificationService& service) mutable {
    service.queryCapabilities(
        [answer = std::move(answer)](std::optional<internal::ServerCapabilities> server) mutable {
          answer(server.has_value(), std::nullopt);
        });
  });
}

OperatingSystemVersion DbusNotificationCenter::operatingSystemVersion() const {
  return kDesktopSystemVersion;
}

void DbusNotificationCenter::waitUntilIdle() {
  do {
    bus_->waitUntilIdle();
    lanes_->waitUntilIdle();
  } while (!bus_->idle());
}

void DbusNotificationCenter::shutDown() {
  bus_->stop();
  lanes_->shutDown();
}

void DbusNotificationCenter::deliverResponse(NotificationResponse response) {
  lanes_->dispatch([this, response = std::move(response)] {
    std::shared_ptr<NotificationCenterDelegate> current = delegate();
    if (current) {
      // The server needs no acknowledgement.
      current->didReceiveNotificationResponse(*this, response, [] {});
    }
  });
}

void DbusNotificationCenter::reportOffShow(std::vector<std::string> identifiers) {
  lanes_->dispatch([this, identifiers = std::move(identifiers)] {
    std::shared_ptr<NotificationCenterDelegate> current = delegate();
    if (current) {
      current->didRemoveDeliveredNotifications(*this, identifiers);
    }
  });
}

}  // namespace quorvane::platform::notifications
