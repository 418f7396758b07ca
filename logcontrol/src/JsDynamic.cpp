#include "logcontrol/src/JsDynamic.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/ObjectUtils.h"
#include "Zandrel/NapiUtils/src/StringUtils.h"
#include "Zandrel/NapiUtils/src/TypeUtils.h"

namespace quorvane::kestro::logcontrol {

using namespace quorvane::kestro::napi;

namespace {

constexpr double kMaxSafeInteger = 9007199254740991.0;  // 2^53 - 1

dynamic fromJs(napi_env env, napi_value value, const std::string& path, size_t depth);

[[noreturn]] void unsupported(const std::string& path, std::string_view received) {
  throw js::TypeError("Can't convert the value at " + path + ": Received: \"" +
                          std::string(received) +
                          "\" but expected: \"null or boolean or number or string or object\"",
                      ZANDREL_HERE());
}

dynamic numberFromJs(napi_env env, napi_value value) {
  double number = 0;
  KESTRO_NAPI_CALL(env, napi_get_value_double(env, value, &number));
  if (std::trunc(number) == number && std::fabs(number) <= kMaxSafeInteger) {
    return dynamic(static_cast<int64_t>(number));
  }
  return dynamic(number);
}

dynamic arrayFromJs(napi_env env, napi_value array, const std::string& path, size_t depth) {
  uint32_t length = 0;
  KESTRO_NAPI_CALL(env, napi_get_array_length(env, array, &length));
  dynamic result = dynamic::array();
  for (uint32_t i = 0; i < length; ++i) {
    napi_value element = nullptr;
    KESTRO_NAPI_CALL(env, napi_get_element(env, array, i, &element));
    result.push_back(fromJs(env, element, path + "[" + std::to_string(i) + "]", depth + 1));
  }
  return result;
}

dynamic objectFromJs(napi_env env, napi_value object, const std::string& path, size_t depth) {
  dynamic result = dynamic::object();
  for (napi_value name : GetOwnPropertyNames(env, object)) {
    napi_value member = nullptr;
    KESTRO_NAPI_CALL(env, napi_get_property(env, object, name, &member));
    std::string key = GetCXXString(env, name, ZANDREL_HERE());
    dynamic converted = fromJs(env, member, path + "." + key, depth + 1);
    result.insert(std::move(key), std::move(converted));
  }
  return result;
}

dynamic fromJs(napi_env env, napi_value value, const std::string& path, size_t depth) {
  if (depth > kMaxDepth) {
    throw js::TypeError("Can't convert the value at " + path + ": nested deeper than " +
                            std::to_string(kMaxDepth) + " levels",
                        ZANDREL_HERE());
  }
  napi_valuetype type = napi_undefined;
  KESTRO_NAPI_CALL(env, napi_typeof(env, value, &type));
  switch (type) {
    case napi_null:
      return nullptr;
    case napi_boolean:
      return GetBool(env, value);
    case napi_number:
      return numberFromJs(env, value);
    case napi_string:
      return GetCXXString(env, value, ZANDREL_HERE());
    case napi_object: {
      bool isArray = false;
      KESTRO_NAPI_CALL(env, napi_is_array(env, value, &isArray));
      return isArray ? arrayFromJs(env, value, path, depth) : objectFromJs(env, value, path, depth);
    }
    default:
      unsupported(path, _typeToString(type));
  }
}

napi_value objectToJs(napi_env env, const dynamic& value) {
  std::vector<std::pair<std::string, const dynamic*>> members;
  for (const auto& [key, member] : value.items()) {
    members.emplace_back(key.asString(), &member);
  }
  std::sort(members.begin(), members.end());
  napi_value object = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_object(env, &object));
  for (const auto& [key, member] : members) {
    KESTRO_NAPI_CALL(
        env, napi_set_property(env, object, CreateString(env, key), jsFromDynamic(env, *member)));
  }
  return object;
}

napi_value arrayToJs(napi_env env, const dynamic& value) {
  napi_value array = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_array_with_length(env, value.size(), &array));
  uint32_t index = 0;
  for (const dynamic& element : value) {
    KESTRO_NAPI_CALL(env, napi_set_element(env, array, index++, jsFromDynamic(env, element)));
  }
  return array;
}

}  // namespace

dynamic dynamicFromJs(napi_env env, napi_value value) { return fromJs(env, value, "config", 0); }

napi_value jsFromDynamic(napi_env env, const dynamic& value) {
  napi_value result = nullptr;
  switch (value.type()) {
    case dynamic::Type::Null:
      return GetNull(env);
    case dynamic::Type::Bool:
      KESTRO_NAPI_CALL(env, napi_get_boolean(env, value.getBool(), &result));
      return result;
    case dynamic::Type::Int64:
      KESTRO_NAPI_CALL(env, napi_create_int64(env, value.getInt(), &result));
      return result;
    case dynamic::Type::Double:
      KESTRO_NAPI_CALL(env, napi_create_double(env, value.getDouble(), &result));
      return result;
    case dynamic::Type::String:
      return CreateString(env, value.getString());
    case dynamic::Type::Array:
      return arrayToJs(env, value);
    case dynamic::Type::Object:
      return objectToJs(env, value);
  }
  return GetNull(env);
}

}  // namespace quorvane::kestro::logcontrol
