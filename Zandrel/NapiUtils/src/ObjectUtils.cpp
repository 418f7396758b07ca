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

}  // namespace quorvane::kestro::napi
