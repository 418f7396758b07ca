#include "platform/UserNotifications/simulated/SimulatedNotificationCenter.h"

#include <cstdlib>
#include <utility>

#include "platform/UserNotifications/internal/CallOnce.h"
#include "platform/UserNotifications/internal/DispatchLanes.h"
#include "platform/UserNotifications/internal/SimulationStore.h"

namespace quorvane::platform::notifications {

namespace {

constexpr const char* kLaneThreadName = "un_center_";

// The shared instance: made on first use and never destroyed. Its lanes stop
// at exit, from a static object made right after it, so they stop
// before any static object made earlier (the users' own) is destroyed.
std::shared_ptr<SimulatedNotificationCenter>* sharedCenter = nullptr;

// Stops the shared instance when destroyed: at exit, or when this library is
// unloaded. A static object rather than std::atexit, whose registration
// ThreadSanitizer's interceptor ties to no shared object, so that it ran at
// exit after the library was gone (a process that loaded the library only in
// worker threads crashed at exit).
struct SharedCenterShutDown {
  ~SharedCenterShutDown() { (*sharedCenter)->shutDown(); }
};

// Asks the delegate set now how to present `request`; records its answer.
void presentToDelegate(NotificationCenter& center,
                       const std::shared_ptr<internal::SimulationStore>& store,
                       const NotificationRequest& request) {
  std::shared_ptr<NotificationCenterDelegate> delegate = store->delegate();
  if (!delegate) {
    return;
  }
  PresentationCompletion record = [store,
                                   identifier = request.identifier](PresentationOptions options) {
    store->recordPresentation(Presentation{identifier, options});
  };
  delegate->willPresentNotification(center, request, internal::callOnce(std::move(record)));
}

// Hands `response` to the delegate set now; counts its acknowledgement.
void sendResponse(NotificationCenter& center,
                  const std::shared_ptr<internal::SimulationStore>& store,
                  const NotificationResponse& response) {
  std::shared_ptr<NotificationCenterDelegate> delegate = store->delegate();
  if (!delegate) {
    return;
  }
  ResponseCompletion acknowledge = [store] { store->recordAcknowledgement(); };
  delegate->didReceiveNotificationResponse(center, response,
                                           internal::callOnce(std::move(acknowledge)));
}

// Work that tells the delegate set when it runs which notifications went off
// show.
internal::DispatchLanes::Work removalReport(NotificationCenter& center,
                                            std::shared_ptr<internal::SimulationStore> store,
                                            std::vector<std::string> identifiers) {
  return [&center, store = std::move(store), identifiers = std::move(identifiers)] {
    std::shared_ptr<NotificationCenterDelegate> delegate = store->delegate();
    if (delegate) {
      delegate->didRemoveDeliveredNotifications(center, identifiers);
    }
  };
}

void dispatchRemovalReport(NotificationCenter& center, internal::DispatchLanes& lanes,
                           const std::shared_ptr<internal::SimulationStore>& store,
                           std::vector<std::string> identifiers) {
  if (!identifiers.empty()) {
    lanes.dispatch(removalReport(center, store, std::move(identifiers)));
  }
}

}  // namespace

SimulatedNotificationCenter::SimulatedNotificationCenter(std::size_t laneCount)
    : store_(std::make_shared<internal::SimulationStore>()),
      lanes_(std::make_unique<internal::DispatchLanes>(laneCount, kLaneThreadName)) {}

SimulatedNotificationCenter::~SimulatedNotificationCenter() { shutDown(); }

std::shared_ptr<SimulatedNotificationCenter> SimulatedNotificationCenter::shared() {
  static const bool made = [] {
    sharedCenter = new std::shared_ptr<SimulatedNotificationCenter>(
        std::make_shared<SimulatedNotificationCenter>());
    static SharedCenterShutDown shutDownAtExit;
    return true;
  }();
  static_cast<void>(made);
  return *sharedCenter;
}

void SimulatedNotificationCenter::setDelegate(
    std::shared_ptr<NotificationCenterDelegate> delegate) {
  store_->setDelegate(std::move(delegate));
}

std::shared_ptr<NotificationCenterDelegate> SimulatedNotificationCenter::delegate() const {
  return store_->delegate();
}

void SimulatedNotificationCenter::setNotificationCategories(
    std::vector<NotificationCategory> categories) {
  store_->setCategories(std::move(categories));
}

void SimulatedNotificationCenter::addNotificationRequest(NotificationRequest request,
                                                         AddCompletion completion) {
  internal::AddAnswer answer = store_->add(request);
  std::vector<internal::DispatchLanes::Work> work;
  work.emplace_back([completion = std::move(completion), error = answer.error] {
    if (completion) {
      completion(error);
    }
  });
  if (answer.replacedOne) {
    work.push_back(removalReport(*this, store_, {request.identifier}));
  }
  if (!answer.error) {
    work.emplace_back(
        [this, request = std::move(request)] { presentToDelegate(*this, store_, request); });
  }
  lanes_->dispatchOn(lanes_->nextLane(), std::move(work));
}

void SimulatedNotificationCenter::removeDeliveredNotifications(
    const std::vector<std::string>& identifiers) {
  dispatchRemovalReport(*this, *lanes_, store_, store_->remove(identifiers));
}

void SimulatedNotificationCenter::removeAllDeliveredNotifications() {
  dispatchRemovalReport(*this, *lanes_, store_, store_->removeAll());
}

void SimulatedNotificationCenter::getNotificationSettings(SettingsCompletion completion) {
  lanes_->dispatch([completion = std::move(completion), settings = store_->settings()] {
    if (completion) {
      completion(settings);
    }
  });
}

void SimulatedNotificationCenter::requestAuthorization(AuthorizationOptions options,
                                                       AuthorizationCompletion completion) {
  lanes_->dispatch(
      [completion = std::move(completion), answer = store_->requestAuthorization(options)] {
        if (completion) {
          completion(answer.granted, answer.error);
        }
      });
}

OperatingSystemVersion SimulatedNotificationCenter::operatingSystemVersion() const {
  return store_->osVersion();
}

void SimulatedNotificationCenter::configure(const SimulationOptions& options) {
  store_->configure(options);
}

void SimulatedNotificationCenter::reset() {
  dispatchRemovalReport(*this, *lanes_, store_, store_->reset());
}

std::vector<DeliveredNotification> SimulatedNotificationCenter::delivered() const {
  return store_->delivered();
}

std::vector<NotificationCategory> SimulatedNotificationCenter::categories() const {
  return store_->categories();
}

std::vector<AuthorizationOptions> SimulatedNotificationCenter::authorizationRequests() const {
  return store_->authorizationRequests();
}

std::vector<Presentation> SimulatedNotificationCenter::presentations() const {
  return store_->presentations();
}

std::uint64_t SimulatedNotificationCenter::acknowledgedResponses() const {
  return store_->acknowledgedResponses();
}

void SimulatedNotificationCenter::respond(const std::string& identifier,
                                          const UserResponse& response) {
  respondMany({{AddressedResponse{identifier, response}}});
}

void SimulatedNotificationCenter::respondMany(
    const std::vector<std::vector<AddressedResponse>>& batches) {
  std::vector<std::vector<NotificationResponse>> responses = store_->responses(batches);
  const std::size_t firstLane = lanes_->nextLane();
  for (std::size_t i = 0; i < responses.size(); ++i) {
    std::vector<internal::DispatchLanes::Work> work;
    work.reserve(responses[i].size());
    for (NotificationResponse& response : responses[i]) {
      work.emplace_back(
          [this, response = std::move(response)] { sendResponse(*this, store_, response); });
    }
    lanes_->dispatchOn(firstLane + i, std::move(work));
  }
}

std::size_t SimulatedNotificationCenter::laneCount() const { return lanes_->laneCount(); }

void SimulatedNotificationCenter::waitUntilIdle() { lanes_->waitUntilIdle(); }

void SimulatedNotificationCenter::shutDown() { lanes_->shutDown(); }

std::shared_ptr<SimulatedNotificationCenter> installSimulatedNotificationCenter() {
  std::shared_ptr<SimulatedNotificationCenter> center = SimulatedNotificationCenter::shared();
  setCurrentNotificationCenter(center);
  return center;
}

}  // namespace quorvane::platform::notifications
