// notifysim.node: the control module of the simulated notification centre
// (platform/UserNotifications/simulated/SimulatedNotificationCenter.h), for
// tests, the demo and benchmarks. Loading it makes the simulated centre the
// process's current one, so notifyaddon.node talks to it; load it before
// notifyaddon.node is first used (the notification delegate attaches to the
// centre that is current then).
//
//   configure(options)            changes the situation; any subset of
//                                 {osVersion, authorizationStatus, grant,
//                                 authorizationError, addError, settings}
//   reset()                       back to the defaults (version "14.0", status
//                                 not determined, grant true, no errors,
//                                 nothing delivered, no categories, no requests)
//   delivered()                   the delivered notifications, oldest first
//   categories()                  the installed categories with their actions
//   authorizationRequests()       the options of each authorisation request
//   respond(identifier, response) the user answers a delivered notification:
//                                 {action: "default"} (a click),
//                                 {action: "ANSWER_CALL"}, {action: "REPLY", text}
//   respondMany(batches)          many answers at once: an array of batches,
//                                 each an array of {identifier, response};
//                                 batch i is answered in order on the centre's
//                                 thread i modulo their count (a flood from
//                                 several threads). All are checked before any
//                                 is sent.
//
// respond and respondMany return a promise that resolves once the centre has
// handed the responses to the delegate (on its threads) and every event they
// caused has reached its JavaScript handler. The centre's refusals (unknown
// identifier, action or text that does not fit, option out of range) are
// Errors with the centre's message; argument errors are as notifyaddon's.

#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/Boundary.h"
#include "Zandrel/NapiUtils/src/ModuleRegistration.h"
#include "Zandrel/NapiUtils/src/StringUtils.h"
#include "Zandrel/NapiUtils/src/Threading.h"
#include "Zandrel/NapiUtils/src/TypeUtils.h"
#include "notifications/sim/SimulationValues.h"
#include "platform/UserNotifications/simulated/SimulatedNotificationCenter.h"

namespace quorvane::kestro::notifysim {
namespace {

namespace un = platform::notifications;
using namespace quorvane::kestro::napi;

std::shared_ptr<un::SimulatedNotificationCenter> center() {
  return un::SimulatedNotificationCenter::shared();
}

napi_value configure(napi_env env, napi_callback_info info) {
  auto args = GetExactCallbackArguments<1>(env, info, ZANDREL_HERE());
  const un::SimulationOptions options = simulationOptionsFromJs(env, args.values[0]);
  try {
    center()->configure(options);
  } catch (const std::invalid_argument& ex) {
    throw js::Error(ex.what(), ZANDREL_HERE());
  }
  return GetUndefined(env);
}

napi_value reset(napi_env env, napi_callback_info info) {
  GetExactCallbackArguments<0>(env, info, ZANDREL_HERE());
  center()->reset();
  return GetUndefined(env);
}

napi_value delivered(napi_env env, napi_callback_info info) {
  GetExactCallbackArguments<0>(env, info, ZANDREL_HERE());
  return deliveredToJs(env, center()->delivered());
}

napi_value categories(napi_env env, napi_callback_info info) {
  GetExactCallbackArguments<0>(env, info, ZANDREL_HERE());
  return categoriesToJs(env, center()->categories());
}

napi_value authorizationRequests(napi_env env, napi_callback_info info) {
  GetExactCallbackArguments<0>(env, info, ZANDREL_HERE());
  return numbersToJs(env, center()->authorizationRequests());
}

// A promise that resolves (to undefined) two check phases of the event loop
// from now, so after the loop's next poll phase.
constexpr char kAfterTheNextPoll[] =
    "new Promise((resolve) => setImmediate(() => setImmediate(resolve)))";

// The events a response causes are queued by notifyaddon, in its own copy of
// the scheduler, whose wake-up handle the event loop runs apart from this
// module's: when this module's item runs, an event scheduled before it may
// still wait for the loop's next poll phase. So the promise is resolved with
// one that settles after that phase, by which time every wake-up sent before
// this item was queued has run.
void resolveAfterTheNextPoll(napi_env env, napi_async_context, const napi_deferred& deferred) {
  napi_value later = nullptr;
  KESTRO_NAPI_CALL(env, napi_run_script(env, CreateString(env, kAfterTheNextPoll), &later));
  KESTRO_NAPI_CALL(env, napi_resolve_deferred(env, deferred, later));
}

// Hands the responses to the centre, then answers a promise that resolves once
// the centre is idle and the events it scheduled before going idle have run.
// Checked before the promise is made: a refused call leaves no promise behind.
napi_value respondThenResolveWhenIdle(
    napi_env env, const std::vector<std::vector<un::AddressedResponse>>& batches) {
  try {
    center()->respondMany(batches);
  } catch (const std::invalid_argument& ex) {
    throw js::Error(ex.what(), ZANDREL_HERE());
  }
  napi_deferred deferred = nullptr;
  napi_value promise = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_promise(env, &deferred, &promise));
  const ExecutorInCurrentLoop<napi_deferred> settle("notifysim_respond_cb", env, deferred,
                                                    &resolveAfterTheNextPoll, KeepsLoopAlive::Yes);
  std::thread([settle] {
    center()->waitUntilIdle();
    settle();
  }).detach();
  return promise;
}

napi_value respond(napi_env env, napi_callback_info info) {
  auto args = GetExactCallbackArguments<2>(env, info, ZANDREL_HERE());
  napi_type_check(env, args.values[0], {napi_string}, ZANDREL_HERE());
  std::string identifier = GetCXXString(env, args.values[0], ZANDREL_HERE());
  un::UserResponse response = userResponseFromJs(env, args.values[1]);
  return respondThenResolveWhenIdle(
      env, {{un::AddressedResponse{std::move(identifier), std::move(response)}}});
}

napi_value respondMany(napi_env env, napi_callback_info info) {
  auto args = GetExactCallbackArguments<1>(env, info, ZANDREL_HERE());
  return respondThenResolveWhenIdle(env, addressedBatchesFromJs(env, args.values[0]));
}

napi_value registerNotifySim(napi_env env, napi_value exports) {
  return WrapCallback(env, [&] {
    un::installSimulatedNotificationCenter();
    const napi_property_descriptor properties[] = {
        Method("configure", &Exported<&configure>),
        Method("reset", &Exported<&reset>),
        Method("delivered", &Exported<&delivered>),
        Method("categories", &Exported<&categories>),
        Method("authorizationRequests", &Exported<&authorizationRequests>),
        Method("respond", &Exported<&respond>),
        Method("respondMany", &Exported<&respondMany>),
    };
    KESTRO_NAPI_CALL(env, napi_define_properties(env, exports, std::size(properties), properties));
    setupEnvironmentForCallbacks(env);
    return exports;
  });
}

}  // namespace
}  // namespace quorvane::kestro::notifysim

KESTRO_NAPI_MODULE("notifysim", quorvane::kestro::notifysim::registerNotifySim)
