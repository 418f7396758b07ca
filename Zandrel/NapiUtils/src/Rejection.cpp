#include "Zandrel/NapiUtils/src/Rejection.h"

#include "Logging/Shared/Client/src/CallTracing.h"
#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/ObjectUtils.h"
#include "Zandrel/NapiUtils/src/StringUtils.h"

namespace quorvane::kestro::napi {

void rejectWithMessage(napi_env env, napi_deferred deferred, const std::string& message,
                       const char* fileName, int32_t lineNumber) {
  logging::SyncTracing trace("rejectWithMessage");
  napi_value code = CreateString(env, "Error");
  napi_value text = CreateString(env, message);
  napi_value error = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_error(env, code, text, &error));
  SetNamedPropertyString(env, error, "fileName", fileName);
  SetNamedPropertyI32(env, error, "lineNumber", lineNumber);
  SetNamedPropertyString(env, error, "stack",
                         message + "\n  at " + fileName + ":" + std::to_string(lineNumber));
  KESTRO_NAPI_CALL(env, napi_reject_deferred(env, deferred, error));
}

}  // namespace quorvane::kestro::napi
