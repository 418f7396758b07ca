// bootclock.node: the start-time module. Registers itself when loaded (module
// name "bootclockAddon") and exports one function, getProcessStartDate
// (ProcessStartDate.h).

#include <iterator>

#include "BootClock/addon/src/ProcessStartDate.h"
#include "Logging/Shared/Client/src/CallTracing.h"
#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/Boundary.h"
#include "Zandrel/NapiUtils/src/ModuleRegistration.h"

namespace quorvane::kestro::bootclock {
namespace {

napi_value initializeBootClock(napi_env env, napi_value exports) {
  return napi::WrapCallback(env, [&] {
    logging::SyncTracing trace("InitializeBootClock");
    const napi_property_descriptor properties[] = {
        napi::Method("getProcessStartDate", &napi::Exported<&getProcessStartDate>),
    };
    KESTRO_NAPI_CALL(env, napi_define_properties(env, exports, std::size(properties), properties));
    return exports;
  });
}

}  // namespace
}  // namespace quorvane::kestro::bootclock

KESTRO_NAPI_MODULE("bootclockAddon", quorvane::kestro::bootclock::initializeBootClock)
