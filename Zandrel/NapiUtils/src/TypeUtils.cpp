#include "Zandrel/NapiUtils/src/TypeUtils.h"

#include "Logging/Shared/Client/src/CallTracing.h"
#include "Zandrel/NapiUtils/src/Base.h"

namespace quorvane::kestro::napi {

using logging::SyncTracing;

bool GetBool(napi_env env, napi_value value) {
  SyncTracing trace("GetBool");
  napi_type_check(env, value, {napi_boolean}, ZANDREL_HERE());
  bool result = false;
  // Not looked at: the value was just checked to be a boolean.
  napi_get_value_bool(env, value, &result);
  return result;
}

napi_value GetNull(napi_env env) {
  SyncTracing trace("GetNull");
  napi_value result = nullptr;
  // Not looked at: a failure leaves an unset value, which CallJSCallback and
  // the host's own argument checks refuse.
  napi_get_null(env, &result);
  return result;
}

napi_value GetUndefined(napi_env env) {
  SyncTracing trace("GetUndefined");
  napi_value result = nullptr;
  KESTRO_NAPI_CALL(env, napi_get_undefined(env, &result));
  return result;
}

napi_value CreateBool(napi_env env, bool value) {
  SyncTracing trace("CreateBool");
  napi_value number = CreateInt32(env, value ? 1 : 0);
  napi_value result = nullptr;
  KESTRO_NAPI_CALL(env, napi_coerce_to_bool(env, number, &result));
  return result;
}

napi_value CreateInt32(napi_env env, int32_t value) {
  SyncTracing trace("CreateInt32");
  napi_value result = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_int32(env, value, &result));
  return result;
}

}  // namespace quorvane::kestro::napi
