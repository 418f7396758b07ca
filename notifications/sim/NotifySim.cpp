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
//
// respond returns a promise that resolves once the centre has handed the
// response to the delegate (on one of its threads) and every event that
// caused has reached its JavaScript handler. The centre's refusals (unknown
// identifier, action or text that does not fit, option out of range) are
// Errors with the centre's message; argument errors are as notifyaddon's.

#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>

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

void resolveUndefined(napi_env env, napi_async_context, const napi_deferred& deferred) {
  KESTRO_NAPI_CALL(env, napi_resolve_deferred(env, deferred, GetUndefined(env)));
}

napi_value respond(napi_env env, napi_callback_info info) {
  auto args = GetExactCallbackArguments<2>(env, info, ZANDREL_HERE());
  napi_type_check(env, args.values[0], {napi_string}, ZANDREL_HERE());
  const std::string identifier = GetCXXString(env, args.values[0], ZANDREL_HERE());
  const un::UserResponse response = userResponseFromJs(env, args.values[1]);
  napi_deferred deferred = nullptr;
  napi_value promise = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_promise(env, &deferred, &promise));
  const ExecutorInCurrentLoop<napi_deferred> settle("notifysim_respond_cb", env, deferred,
                                                    &resolveUndefined, KeepsLoopAlive::Yes);
  try {
    center()->respond(identifier, response);
  } catch (const std::invalid_argument& ex) {
    throw js::Error(ex.what(), ZANDREL_HERE());
  }
  // The centre's threads schedule the response's events before they go idle,
  // so the resolution is queued behind them.
  std::thread([settle] {
    center()->waitUntilIdle();
    settle();
  }).detach();
  return promise;
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
    };
    KESTRO_NAPI_CALL(env, napi_define_properties(env, exports, std::size(properties), properties));
    setupEnvironmentForCallbacks(env);
    return exports;
  });
}

}  // namespace
}  // namespace quorvane::kestro::notifysim

KESTRO_NAPI_MODULE("notifysim", quorvane::kestro::notifysim::registerNotifySim)
