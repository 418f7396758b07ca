#include "logcontrol/src/JsLogger.h"

#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_set>

#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/Boundary.h"
#include "Zandrel/NapiUtils/src/StringUtils.h"
#include "common/logging/LoggerDB.h"
#include "logcontrol/LoggerScript.h"
#include "logcontrol/src/JsLog.h"
#include "logcontrol/src/LoggerLevels.h"

namespace quorvane::kestro::logcontrol {
namespace {

using namespace quorvane::kestro::napi;

// write(level, text[, file, line]), bound to a category of this module's
// database (categories are never destroyed).
napi_value write(napi_env env, napi_callback_info info) {
  size_t count = 4;
  napi_value args[4] = {};
  void* category = nullptr;
  KESTRO_NAPI_CALL(env, napi_get_cb_info(env, info, &count, args, nullptr, &category));
  uint32_t level = 0;
  KESTRO_NAPI_CALL(env, napi_get_value_uint32(env, args[0], &level));
  logFromLogger(env, static_cast<const LogCategory*>(category), static_cast<LogLevel>(level),
                args[1], count >= 4 ? args[2] : nullptr, args[3]);
  return nullptr;  // undefined, without a call into the host
}

napi_value category(napi_env env, napi_callback_info info) {
  auto args = GetExactCallbackArguments<1>(env, info, ZANDREL_HERE());
  napi_type_check(env, args.values[0], {napi_string}, ZANDREL_HERE());
  LoggerSlot slot;
  try {
    slot = loggerSlotFor(GetCXXString(env, args.values[0], ZANDREL_HERE()));
  } catch (const std::length_error& ex) {
    throw js::Error(ex.what(), ZANDREL_HERE());
  }
  LogCategory* bound = LoggerDB::get().categoryFor(slot.canonicalName);
  napi_value writer = nullptr;
  KESTRO_NAPI_CALL(
      env, napi_create_function(env, "write", NAPI_AUTO_LENGTH, &Exported<&write>, bound, &writer));
  napi_value result = nullptr;
  napi_value index = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_uint32(env, slot.index, &index));
  KESTRO_NAPI_CALL(env, napi_create_array_with_length(env, 3, &result));
  KESTRO_NAPI_CALL(env, napi_set_element(env, result, 0, CreateString(env, slot.canonicalName)));
  KESTRO_NAPI_CALL(env, napi_set_element(env, result, 1, index));
  KESTRO_NAPI_CALL(env, napi_set_element(env, result, 2, writer));
  return result;
}

// Environments whose pages are detached by a cleanup hook (one hook each).
struct Environments {
  std::mutex mutex;
  std::unordered_set<napi_env> withHook;
};
Environments& environments() {
  static Environments* const made = new Environments();
  return *made;
}

void environmentEnded(void* env) {
  detachLevelPages(env);
  Environments& all = environments();
  std::lock_guard<std::mutex> lock(all.mutex);
  all.withHook.erase(static_cast<napi_env>(env));
}

void detachWhenEnded(napi_env env) {
  Environments& all = environments();
  std::lock_guard<std::mutex> lock(all.mutex);
  if (all.withHook.insert(env).second) {
    KESTRO_NAPI_CALL(env, napi_add_env_cleanup_hook(env, &environmentEnded, env));
  }
}

napi_value levelPage(napi_env env, napi_callback_info info) {
  auto args = GetExactCallbackArguments<1>(env, info, ZANDREL_HERE());
  uint32_t page = 0;
  KESTRO_NAPI_CALL(env, napi_get_value_uint32(env, args.values[0], &page));
  detachWhenEnded(env);
  void* words = nullptr;
  napi_value buffer = nullptr;
  KESTRO_NAPI_CALL(env,
                   napi_create_arraybuffer(env, kSlotsPerPage * sizeof(uint32_t), &words, &buffer));
  // Held until the environment ends, after its cleanup has detached the page.
  napi_ref held = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_reference(env, buffer, 1, &held));
  attachLevelPage(env, page, static_cast<uint32_t*>(words));
  napi_value levels = nullptr;
  KESTRO_NAPI_CALL(
      env, napi_create_typedarray(env, napi_uint32_array, kSlotsPerPage, buffer, 0, &levels));
  return levels;
}

napi_value levelOf(napi_env env, napi_callback_info info) {
  auto args = GetExactCallbackArguments<1>(env, info, ZANDREL_HERE());
  napi_value number = nullptr;
  KESTRO_NAPI_CALL(
      env, napi_create_uint32(env, toUnderlying(anyLevelFromJs(env, args.values[0])), &number));
  return number;
}

constexpr napi_property_descriptor valueProperty(const char* name, napi_value value) {
  return {name, nullptr, nullptr, nullptr, nullptr, value, napi_default, nullptr};
}

}  // namespace

void defineGetLogger(napi_env env, napi_value exports) {
  napi_value factory = nullptr;
  KESTRO_NAPI_CALL(env, napi_run_script(env, CreateString(env, kLoggerScript), &factory));
  napi_value perPage = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_uint32(env, kSlotsPerPage, &perPage));
  const napi_property_descriptor natives[] = {
      Method("category", &Exported<&category>),
      Method("levelPage", &Exported<&levelPage>),
      Method("levelOf", &Exported<&levelOf>),
      valueProperty("slotsPerPage", perPage),
  };
  napi_value bindings = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_object(env, &bindings));
  KESTRO_NAPI_CALL(env, napi_define_properties(env, bindings, std::size(natives), natives));
  napi_value getLogger = nullptr;
  KESTRO_NAPI_CALL(env, napi_call_function(env, exports, factory, 1, &bindings, &getLogger));
  const napi_property_descriptor exported = valueProperty("getLogger", getLogger);
  KESTRO_NAPI_CALL(env, napi_define_properties(env, exports, 1, &exported));
}

}  // namespace quorvane::kestro::logcontrol
