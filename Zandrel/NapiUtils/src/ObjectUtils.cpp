#include "Zandrel/NapiUtils/src/ObjectUtils.h"

#include "Logging/Shared/Client/src/CallTracing.h"
#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/StringUtils.h"

namespace quorvane::kestro::napi {

using logging::SyncTracing;

namespace {

// Stores without looking at the status (see the header).
void store(napi_env env, napi_value object, const std::string& name, napi_value value) {
  napi_set_named_property(env, object, name.c_str(), value);
}

}  // namespace

void SetNamedPropertyValue(napi_env env, napi_value object, const std::string& name,
                           napi_value value) {
  SyncTracing trace("SetNamedPropertyValue");
  store(env, object, name, value);
}

void SetNamedPropertyString(napi_env env, napi_value object, const std::string& name,
                            std::string_view value) {
  SyncTracing trace("SetNamedPropertyString");
  store(env, object, name, CreateString(env, value));
}

void SetNamedPropertyI32(napi_env env, napi_value object, const std::string& name, int32_t value) {
  SyncTracing trace("SetNamedPropertyI32");
  napi_value number = nullptr;
  if (const napi_status status = napi_create_int32(env, value, &number); status != napi_ok) {
    throwLastError(env, status, {__FILE__, "SetNamedProperty", static_cast<uint32_t>(__LINE__)});
  }
  store(env, object, name, number);
}

std::vector<napi_value> GetOwnPropertyNames(napi_env env, napi_value object) {
  SyncTracing trace("GetOwnPropertyNames");
  napi_value names = nullptr;
  KESTRO_NAPI_CALL(env,
                   napi_get_all_property_names(
                       env, object, napi_key_own_only,
                       static_cast<napi_key_filter>(napi_key_enumerable | napi_key_skip_symbols),
                       napi_key_numbers_to_strings, &names));
  uint32_t count = 0;
  KESTRO_NAPI_CALL(env, napi_get_array_length(env, names, &count));
  std::vector<napi_value> result(count);
  for (uint32_t i = 0; i < count; ++i) {
    KESTRO_NAPI_CALL(env, napi_get_element(env, names, i, &result[i]));
  }
  return result;
}

}  // namespace quorvane::kestro::napi
