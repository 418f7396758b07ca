#include "Zandrel/NapiUtils/src/Base.h"

#include <string>

#include "Logging/Shared/Client/src/CallTracing.h"

namespace quorvane::kestro::napi {

using logging::SyncTracing;

namespace {

// Matches no value type: what a failed type query counts as.
constexpr auto kNoType = static_cast<napi_valuetype>(-1);

std::string quoted(std::string_view text) {
  std::string result = "\"";
  result += text;
  result += '"';
  return result;
}

std::string expectedTypesText(const napi_valuetype* types, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    if (i != 0) {
      text += " or ";
    }
    text += _typeToString(types[i]);
  }
  return text;
}

}  // namespace

void throwLastError(napi_env env, napi_status status, js::SourceLocation location) {
  const napi_extended_error_info* info = nullptr;
  std::string message = "Node-API call failed with status " + std::to_string(status);
  if (napi_get_last_error_info(env, &info) == napi_ok && info != nullptr &&
      info->error_message != nullptr) {
    message = info->error_message;
  }
  // The host answers napi_pending_exception with no exception pending when it
  // refuses to run JavaScript at all: the environment is ending.
  bool pending = true;
  if (status == napi_pending_exception && napi_is_exception_pending(env, &pending) == napi_ok &&
      !pending) {
    throw js::EnvironmentEnding(std::move(message), location);
  }
  throw js::Error(std::move(message), location);
}

std::string_view _typeToString(napi_valuetype type) {
  switch (type) {
    case napi_null:
      return "null";
    case napi_boolean:
      return "boolean";
    case napi_number:
      return "number";
    case napi_string:
      return "string";
    case napi_symbol:
      return "symbol";
    case napi_object:
      return "object";
    case napi_function:
      return "function";
    case napi_external:
      return "external";
    case napi_bigint:
      return "bigint";
    default:
      return "undefined";
  }
}

bool CheckType(napi_env env, napi_value value, napi_valuetype type) {
  SyncTracing trace("CheckType");
  napi_valuetype actual = kNoType;
  // The status is not looked at: a failed query leaves kNoType, no match.
  napi_typeof(env, value, &actual);
  return actual == type;
}

bool MatchesAnyType(napi_env env, napi_value value, const napi_valuetype* types, size_t count) {
  SyncTracing trace("MatchesAnyType");
  for (size_t i = 0; i < count; ++i) {
    if (CheckType(env, value, types[i])) {
      return true;
    }
  }
  return false;
}

void napi_type_check(napi_env env, napi_value value, const napi_valuetype* types, size_t count,
                     js::SourceLocation caller) {
  SyncTracing trace("napi_type_check");
  try {
    if (MatchesAnyType(env, value, types, count)) {
      return;
    }
    napi_valuetype actual = kNoType;
    KESTRO_NAPI_CALL(env, napi_typeof(env, value, &actual));
    throw js::TypeError("Received: " + quoted(_typeToString(actual)) +
                            " but expected: " + quoted(expectedTypesText(types, count)),
                        ZANDREL_HERE());
  } catch (...) {
    js::rethrowWithFrame(caller);
  }
}

napi_value CallJSCallback(napi_env env, napi_value receiver, napi_value function,
                          napi_async_context context, const std::vector<napi_value>& arguments) {
  SyncTracing trace("CallJSCallback");
  for (napi_value argument : arguments) {
    if (argument == nullptr) {
      throw js::Error("Passing null argument. If you want to pass null to JS, use GetNull(env)",
                      ZANDREL_HERE());
    }
  }
  napi_value result = nullptr;
  if (napi_make_callback(env, context, receiver, function, arguments.size(), arguments.data(),
                         &result) != napi_ok) {
    bool pending = false;
    KESTRO_NAPI_CALL(env, napi_is_exception_pending(env, &pending));
    if (pending) {
      napi_value exception = nullptr;
      KESTRO_NAPI_CALL(env, napi_get_and_clear_last_exception(env, &exception));
      KESTRO_NAPI_CALL(env, napi_fatal_exception(env, exception));
    }
  }
  return result;
}

void requireArgumentCount(size_t count, size_t expected, js::SourceLocation caller) {
  if (count != expected) {
    throw js::Error("Wrong number of arguments", caller);
  }
}

}  // namespace quorvane::kestro::napi
