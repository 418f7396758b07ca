#pragma once

// The simulated centre's values as JavaScript sees them in notifysim.node.
//
// From JavaScript (each throws js::TypeError 'Received: "..." but expected:
// "..."' for a value of the wrong type, js::Error for the rest):
//   simulationOptionsFromJs  {osVersion, authorizationStatus, grant,
//                            authorizationError, addError, settings}, any
//                            subset; an unknown option name is an Error
//                            naming the options. Errors are
//                            {domain, code, description} or null; settings an
//                            object of integers by name. Integers must be
//                            whole numbers ("<name> must be an integer, got
//                            1.5"); their ranges are the centre's to check.
//   userResponseFromJs       {action, text}; text may be left out (or null).
//   addressedBatchesFromJs   [[{identifier, response}, ...], ...]: an array of
//                            arrays (js::TypeError "respondMany takes an array
//                            of batches, each an array of {identifier,
//                            response}" otherwise), each entry an object with a
//                            string identifier and a response as above.
//
// To JavaScript (plain objects and arrays, properties in the order listed):
//   deliveredToJs            [{identifier, title, subtitle, body, sound,
//                              userInfo, categoryIdentifier}]  (null when none)
//   categoriesToJs           [{identifier, actions: [{identifier, title,
//                              options, textInput}]}]
//   numbersToJs              [n, ...]
//
// JavaScript thread only. Host failures throw js::Error with the host's
// message.

#include <node_api.h>

#include <cstdint>
#include <vector>

#include "platform/UserNotifications/NotificationCategory.h"
#include "platform/UserNotifications/simulated/DeliveredNotification.h"
#include "platform/UserNotifications/simulated/SimulationOptions.h"
#include "platform/UserNotifications/simulated/UserResponse.h"

namespace quorvane::kestro::notifysim {

platform::notifications::SimulationOptions simulationOptionsFromJs(napi_env env,
                                                                   napi_value options);
platform::notifications::UserResponse userResponseFromJs(napi_env env, napi_value response);
std::vector<std::vector<platform::notifications::AddressedResponse>> addressedBatchesFromJs(
    napi_env env, napi_value batches);

napi_value deliveredToJs(napi_env env,
                         const std::vector<platform::notifications::DeliveredNotification>& list);
napi_value categoriesToJs(napi_env env,
                          const std::vector<platform::notifications::NotificationCategory>& list);
napi_value numbersToJs(napi_env env, const std::vector<std::uint64_t>& numbers);

}  // namespace quorvane::kestro::notifysim
