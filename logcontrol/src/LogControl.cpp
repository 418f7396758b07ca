// logcontrol.node: the application's module that drives liblogcore.
//
//   initLogging(logDirectory, fileTag, userId, traceEnabled)
//   updateLoggingWithUserId(userId)
//   flushLogs()
//   deinitLogging()
//   getCompleteMasterLogConfig()         -> plain object
//   setCompleteMasterLogConfig(object)
//   log(category, level, message)
//   getLogger(category[, options])       -> a logger (JsLogger.h, Logger.js)
//
// Each checks its argument count ("Wrong number of arguments") and types
// (TypeError) before doing anything. setCompleteMasterLogConfig raises a
// configuration the core cannot parse or apply as an Error with the core's
// message; the configuration then stays as it was.

#include <stdexcept>
#include <string>

#include "Logging/Shared/Client/src/CallTracing.h"
#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/Boundary.h"
#include "Zandrel/NapiUtils/src/ModuleRegistration.h"
#include "Zandrel/NapiUtils/src/StringUtils.h"
#include "Zandrel/NapiUtils/src/TypeUtils.h"
#include "kestro/logcore.h"
#include "logcontrol/src/JsDynamic.h"
#include "logcontrol/src/JsLog.h"
#include "logcontrol/src/JsLogger.h"

namespace quorvane::kestro::logcontrol {
namespace {

using namespace quorvane::kestro::napi;
using logging::SyncTracing;

napi_value initLogging(napi_env env, napi_callback_info info) {
  SyncTracing trace("initLogging");
  auto args = GetExactCallbackArguments<4>(env, info, ZANDREL_HERE());
  for (size_t i = 0; i < 3; ++i) {
    napi_type_check(env, args.values[i], {napi_string}, ZANDREL_HERE());
  }
  napi_type_check(env, args.values[3], {napi_boolean}, ZANDREL_HERE());
  logging::initLogging(GetCXXString(env, args.values[0], ZANDREL_HERE()),
                       GetCXXString(env, args.values[1], ZANDREL_HERE()),
                       GetCXXString(env, args.values[2], ZANDREL_HERE()),
                       GetBool(env, args.values[3]));
  return GetUndefined(env);
}

napi_value updateLoggingWithUserId(napi_env env, napi_callback_info info) {
  SyncTracing trace("updateLoggingWithUserId");
  auto args = GetExactCallbackArguments<1>(env, info, ZANDREL_HERE());
  napi_type_check(env, args.values[0], {napi_string}, ZANDREL_HERE());
  logging::updateLoggingWithUserId(GetCXXString(env, args.values[0], ZANDREL_HERE()));
  return GetUndefined(env);
}

napi_value flushLogs(napi_env env, napi_callback_info info) {
  SyncTracing trace("flushLogs");
  GetExactCallbackArguments<0>(env, info, ZANDREL_HERE());
  logging::flushLogs();
  return GetUndefined(env);
}

napi_value deinitLogging(napi_env env, napi_callback_info info) {
  SyncTracing trace("deinitLogging");
  GetExactCallbackArguments<0>(env, info, ZANDREL_HERE());
  logging::deinitLogging();
  return GetUndefined(env);
}

napi_value getCompleteMasterLogConfig(napi_env env, napi_callback_info info) {
  SyncTracing trace("getCompleteMasterLogConfig");
  GetExactCallbackArguments<0>(env, info, ZANDREL_HERE());
  return jsFromDynamic(env, logging::getCompleteMasterLogConfig());
}

napi_value setCompleteMasterLogConfig(napi_env env, napi_callback_info info) {
  SyncTracing trace("setCompleteMasterLogConfig");
  auto args = GetExactCallbackArguments<1>(env, info, ZANDREL_HERE());
  dynamic config = dynamicFromJs(env, args.values[0]);
  try {
    logging::setCompleteMasterLogConfig(std::move(config));
  } catch (const std::invalid_argument& ex) {
    // The parser's and the applier's errors (LogConfigParseError is one).
    throw js::Error(ex.what(), ZANDREL_HERE());
  }
  return GetUndefined(env);
}

napi_value log(napi_env env, napi_callback_info info) {
  auto args = GetExactCallbackArguments<3>(env, info, ZANDREL_HERE());
  requireString(env, args.values[0], ZANDREL_HERE());
  requireString(env, args.values[2], ZANDREL_HERE());
  const LogLevel level = levelFromJs(env, args.values[1]);
  logFromJavaScript(env, args.values[0], level, args.values[2]);
  return nullptr;  // undefined for JavaScript, without a call into the host
}

napi_value registerLogControl(napi_env env, napi_value exports) {
  return WrapCallback(env, [&] {
    const napi_property_descriptor properties[] = {
        Method("initLogging", &Exported<&initLogging>),
        Method("updateLoggingWithUserId", &Exported<&updateLoggingWithUserId>),
        Method("flushLogs", &Exported<&flushLogs>),
        Method("deinitLogging", &Exported<&deinitLogging>),
        Method("getCompleteMasterLogConfig", &Exported<&getCompleteMasterLogConfig>),
        Method("setCompleteMasterLogConfig", &Exported<&setCompleteMasterLogConfig>),
        Method("log", &Exported<&log>),
    };
    KESTRO_NAPI_CALL(env, napi_define_properties(env, exports, std::size(properties), properties));
    defineGetLogger(env, exports);
    return exports;
  });
}

}  // namespace
}  // namespace quorvane::kestro::logcontrol

KESTRO_NAPI_MODULE("logcontrol", quorvane::kestro::logcontrol::registerLogControl)
