#include "BootClock/addon/src/ProcessStartDate.h"

#include "Logging/Shared/Client/src/CallTracing.h"
#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/Rejection.h"

namespace quorvane::kestro::bootclock {

napi_value getProcessStartDate(napi_env env, napi_callback_info /*info*/) {
  logging::SyncTracing trace("getProcessStartDate");
  napi_deferred deferred = nullptr;
  napi_value promise = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_promise(env, &deferred, &promise));
  // The call stays on one line: its __LINE__ is the rejection's lineNumber.
  napi::rejectWithMessage(env, deferred, kNoProcessStartDate, __FILE__, __LINE__);
  return promise;
}

}  // namespace quorvane::kestro::bootclock
