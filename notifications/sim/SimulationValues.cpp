#include "notifications/sim/SimulationValues.h"

#include <cmath>
#include <string>
#include <string_view>
#include <utility>

#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/ObjectUtils.h"
#include "Zandrel/NapiUtils/src/StringUtils.h"
#include "Zandrel/NapiUtils/src/TypeUtils.h"

namespace quorvane::kestro::notifysim {

namespace un = platform::notifications;
using namespace quorvane::kestro::napi;

namespace {

// Integers beyond this are not exact as JavaScript numbers.
constexpr double kLargestExactInteger = 9007199254740991.0;

constexpr std::string_view kOptionNames =
    "osVersion, authorizationStatus, grant, authorizationError, addError, settings";

napi_value property(napi_env env, napi_value object, const char* name) {
  napi_value value = nullptr;
  KESTRO_NAPI_CALL(env, napi_get_named_property(env, object, name, &value));
  return value;
}

// The object's own enumerable properties: name and value.
std::vector<std::pair<std::string, napi_value>> ownProperties(napi_env env, napi_value object) {
  std::vector<std::pair<std::string, napi_value>> result;
  for (napi_value name : GetOwnPropertyNames(env, object)) {
    napi_value value = nullptr;
    KESTRO_NAPI_CALL(env, napi_get_property(env, object, name, &value));
    result.emplace_back(GetCXXString(env, name, ZANDREL_HERE()), value);
  }
  return result;
}

// How JavaScript writes the value (String(value)).
std::string jsText(napi_env env, napi_value value) {
  napi_value text = nullptr;
  KESTRO_NAPI_CALL(env, napi_coerce_to_string(env, value, &text));
  return GetCXXString(env, text, ZANDREL_HERE());
}

std::int64_t integerOf(napi_env env, napi_value value, const std::string& name) {
  napi_type_check(env, value, {napi_number}, ZANDREL_HERE());
  double number = 0;
  KESTRO_NAPI_CALL(env, napi_get_value_double(env, value, &number));
  if (!(std::trunc(number) == number && std::fabs(number) <= kLargestExactInteger)) {
    throw js::Error(name + " must be an integer, got " + jsText(env, value), ZANDREL_HERE());
  }
  return static_cast<std::int64_t>(number);
}

std::string textOf(napi_env env, napi_value value) {
  napi_type_check(env, value, {napi_string}, ZANDREL_HERE());
  return GetCXXString(env, value, ZANDREL_HERE());
}

// {domain, code, description}, or null for none.
std::optional<un::PlatformError> platformErrorOf(napi_env env, napi_value value,
                                                 const std::string& name) {
  napi_type_check(env, value, {napi_object, napi_null}, ZANDREL_HERE());
  if (CheckType(env, value, napi_null)) {
    return std::nullopt;
  }
  un::PlatformError error;
  error.domain = textOf(env, property(env, value, "domain"));
  error.code = integerOf(env, property(env, value, "code"), name + ".code");
  error.description = textOf(env, property(env, value, "description"));
  return error;
}

void readOption(napi_env env, const std::string& name, napi_value value,
                un::SimulationOptions& options) {
  if (name == "osVersion") {
    options.osVersion = textOf(env, value);
  } else if (name == "authorizationStatus") {
    options.authorizationStatus = integerOf(env, value, name);
  } else if (name == "grant") {
    options.grant = GetBool(env, value);
  } else if (name == "authorizationError") {
    options.authorizationError = platformErrorOf(env, value, name);
  } else if (name == "addError") {
    options.addError = platformErrorOf(env, value, name);
  } else if (name == "settings") {
    napi_type_check(env, value, {napi_object}, ZANDREL_HERE());
    for (const auto& [setting, number] : ownProperties(env, value)) {
      options.settings[setting] = integerOf(env, number, "settings." + setting);
    }
  } else {
    throw js::Error("configure has no option named \"" + name + "\"; the options are " +
                        std::string(kOptionNames),
                    ZANDREL_HERE());
  }
}

napi_value array(napi_env env, size_t length) {
  napi_value result = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_array_with_length(env, length, &result));
  return result;
}

void setElement(napi_env env, napi_value list, size_t index, napi_value value) {
  KESTRO_NAPI_CALL(env, napi_set_element(env, list, static_cast<uint32_t>(index), value));
}

napi_value object(napi_env env) {
  napi_value result = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_object(env, &result));
  return result;
}

napi_value number(napi_env env, double value) {
  napi_value result = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_double(env, value, &result));
  return result;
}

napi_value notificationToJs(napi_env env, const un::DeliveredNotification& shown) {
  napi_value result = object(env);
  SetNamedPropertyString(env, result, "identifier", shown.identifier);
  SetNamedPropertyString(env, result, "title", shown.title);
  SetNamedPropertyString(env, result, "subtitle", shown.subtitle);
  SetNamedPropertyString(env, result, "body", shown.body);
  SetNamedPropertyValue(env, result, "sound", CreateBool(env, shown.sound));
  napi_value userInfo = object(env);
  for (const auto& [key, text] : shown.userInfo) {
    SetNamedPropertyString(env, userInfo, key, text);
  }
  SetNamedPropertyValue(env, result, "userInfo", userInfo);
  SetNamedPropertyValue(
      env, result, "categoryIdentifier",
      shown.categoryIdentifier ? CreateString(env, *shown.categoryIdentifier) : GetNull(env));
  return result;
}

napi_value actionToJs(napi_env env, const un::NotificationAction& action) {
  napi_value result = object(env);
  SetNamedPropertyString(env, result, "identifier", action.identifier);
  SetNamedPropertyString(env, result, "title", action.title);
  SetNamedPropertyValue(env, result, "options", number(env, static_cast<double>(action.options)));
  SetNamedPropertyValue(env, result, "textInput", CreateBool(env, action.isTextInput()));
  return result;
}

}  // namespace

un::SimulationOptions simulationOptionsFromJs(napi_env env, napi_value options) {
  napi_type_check(env, options, {napi_object}, ZANDREL_HERE());
  un::SimulationOptions result;
  for (const auto& [name, value] : ownProperties(env, options)) {
    readOption(env, name, value, result);
  }
  return result;
}

un::UserResponse userResponseFromJs(napi_env env, napi_value response) {
  napi_type_check(env, response, {napi_object}, ZANDREL_HERE());
  un::UserResponse result;
  result.action = textOf(env, property(env, response, "action"));
  napi_value text = property(env, response, "text");
  napi_type_check(env, text, {napi_string, napi_undefined, napi_null}, ZANDREL_HERE());
  if (CheckType(env, text, napi_string)) {
    result.text = GetCXXString(env, text, ZANDREL_HERE());
  }
  return result;
}

namespace {

constexpr char kNotBatches[] =
    "respondMany takes an array of batches, each an array of {identifier, response}";

// Calls visit(element) for each element of a JavaScript array, in order;
// js::TypeError kNotBatches for anything else. Elements are checked as they
// are read, so a sparse array of 2^32 - 1 holes fails at its first.
template <typename Visit>
void forEachElement(napi_env env, napi_value list, Visit&& visit) {
  bool isArray = false;
  KESTRO_NAPI_CALL(env, napi_is_array(env, list, &isArray));
  if (!isArray) {
    throw js::TypeError(kNotBatches, ZANDREL_HERE());
  }
  uint32_t length = 0;
  KESTRO_NAPI_CALL(env, napi_get_array_length(env, list, &length));
  for (uint32_t index = 0; index < length; ++index) {
    napi_value element = nullptr;
    // Checked: a throwing getter leaves its exception pending.
    KESTRO_NAPI_CALL(env, napi_get_element(env, list, index, &element));
    visit(element);
  }
}

}  // namespace

std::vector<std::vector<un::AddressedResponse>> addressedBatchesFromJs(napi_env env,
                                                                       napi_value batches) {
  std::vector<std::vector<un::AddressedResponse>> result;
  forEachElement(env, batches, [&](napi_value batch) {
    std::vector<un::AddressedResponse> responses;
    forEachElement(env, batch, [&](napi_value entry) {
      napi_type_check(env, entry, {napi_object}, ZANDREL_HERE());
      std::string identifier = textOf(env, property(env, entry, "identifier"));
      responses.push_back(
          {std::move(identifier), userResponseFromJs(env, property(env, entry, "response"))});
    });
    result.push_back(std::move(responses));
  });
  return result;
}

napi_value deliveredToJs(napi_env env, const std::vector<un::DeliveredNotification>& list) {
  napi_value result = array(env, list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    setElement(env, result, i, notificationToJs(env, list[i]));
  }
  return result;
}

napi_value categoriesToJs(napi_env env, const std::vector<un::NotificationCategory>& list) {
  napi_value result = array(env, list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    napi_value category = object(env);
    SetNamedPropertyString(env, category, "identifier", list[i].identifier);
    const auto& actions = list[i].actions;
    napi_value actionList = array(env, actions.size());
    for (size_t a = 0; a < actions.size(); ++a) {
      setElement(env, actionList, a, actionToJs(env, actions[a]));
    }
    SetNamedPropertyValue(env, category, "actions", actionList);
    setElement(env, result, i, category);
  }
  return result;
}

napi_value numbersToJs(napi_env env, const std::vector<std::uint64_t>& numbers) {
  napi_value result = array(env, numbers.size());
  for (size_t i = 0; i < numbers.size(); ++i) {
    setElement(env, result, i, number(env, static_cast<double>(numbers[i])));
  }
  return result;
}

}  // namespace quorvane::kestro::notifysim
