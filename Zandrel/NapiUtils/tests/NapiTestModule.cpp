// A test-only Node module: the utilities as JavaScript functions, and native
// producer threads that schedule work onto the JavaScript thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/Boundary.h"
#include "Zandrel/NapiUtils/src/ModuleRegistration.h"
#include "Zandrel/NapiUtils/src/ObjectUtils.h"
#include "Zandrel/NapiUtils/src/SharedValue.h"
#include "Zandrel/NapiUtils/src/StringUtils.h"
#include "Zandrel/NapiUtils/src/Threading.h"
#include "Zandrel/NapiUtils/src/TypeUtils.h"
#include "Zandrel/NapiUtils/src/internal/CallbackEnvironment.h"

namespace {

using namespace quorvane::kestro::napi;
namespace js = quorvane::kestro::js;

std::atomic<int> runningProducers{0};
std::atomic<int64_t> droppedItems{0};

// An item's payload that counts items destroyed without having run.
struct Probe {
  bool ran = false;
  bool live = true;
  Probe() = default;
  Probe(Probe&& other) noexcept : ran(other.ran), live(other.live) { other.live = false; }
  ~Probe() {
    if (live && !ran) {
      droppedItems.fetch_add(1);
    }
  }
};

napi_value undefinedValue(napi_env env) {
  napi_value result = nullptr;
  KESTRO_NAPI_CALL(env, napi_get_undefined(env, &result));
  return result;
}

// The receiver of calls into JavaScript (the host wants an object).
napi_value globalObject(napi_env env) {
  napi_value result = nullptr;
  KESTRO_NAPI_CALL(env, napi_get_global(env, &result));
  return result;
}

uint32_t getUint32(napi_env env, napi_value value) {
  uint32_t result = 0;
  KESTRO_NAPI_CALL(env, napi_get_value_uint32(env, value, &result));
  return result;
}

// typeCheck(value, ...typeNames)
napi_value typeCheck(napi_env env, napi_callback_info info) {
  auto args = GetCallbackArguments<8>(env, info);
  static const std::map<std::string, napi_valuetype> kTypes = {
      {"undefined", napi_undefined}, {"null", napi_null},     {"boolean", napi_boolean},
      {"number", napi_number},       {"string", napi_string}, {"object", napi_object},
      {"function", napi_function},   {"bigint", napi_bigint}, {"symbol", napi_symbol}};
  std::vector<napi_valuetype> types;
  for (size_t i = 1; i < args.count && i < args.values.size(); ++i) {
    types.push_back(kTypes.at(GetCXXString(env, args.values[i], ZANDREL_HERE())));
  }
  napi_type_check(env, args.values[0], types.data(), types.size(), ZANDREL_HERE());
  return undefinedValue(env);
}

napi_value getString(napi_env env, napi_callback_info info) {
  auto args = GetCallbackArguments<1>(env, info);
  return CreateString(env, GetCXXString(env, args.values[0], ZANDREL_HERE()));
}

napi_value getStringOrEmpty(napi_env env, napi_callback_info info) {
  auto args = GetCallbackArguments<1>(env, info);
  return CreateString(env, GetCXXStringOrEmptyStringIfNull(env, args.values[0], ZANDREL_HERE()));
}

napi_value createBool(napi_env env, napi_callback_info info) {
  auto args = GetCallbackArguments<1>(env, info);
  return CreateBool(env, GetBool(env, args.values[0]));
}

napi_value makeObject(napi_env env, napi_callback_info) {
  napi_value object = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_object(env, &object));
  SetNamedPropertyValue(env, object, "nothing", GetNull(env));
  SetNamedPropertyString(env, object, "text", "grüße");
  SetNamedPropertyI32(env, object, "number", -7);
  return object;
}

// callJS(fn, ...args): calls fn on the global object; returns its result.
napi_value callJS(napi_env env, napi_callback_info info) {
  auto args = GetCallbackArguments<4>(env, info);
  std::vector<napi_value> arguments(args.values.begin() + 1,
                                    args.values.begin() + std::min<size_t>(args.count, 4));
  return CallJSCallback(env, globalObject(env), args.values[0], nullptr, arguments);
}

napi_value callWithUnsetArgument(napi_env env, napi_callback_info info) {
  auto args = GetCallbackArguments<1>(env, info);
  return CallJSCallback(env, globalObject(env), args.values[0], nullptr, {GetNull(env), nullptr});
}

// reject(message, fileName, line): a promise rejected by rejectWithMessage.
napi_value reject(napi_env env, napi_callback_info info) {
  auto args = GetCallbackArguments<3>(env, info);
  napi_deferred deferred = nullptr;
  napi_value promise = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_promise(env, &deferred, &promise));
  const std::string fileName = GetCXXString(env, args.values[1], ZANDREL_HERE());
  rejectWithMessage(env, deferred, GetCXXString(env, args.values[0], ZANDREL_HERE()),
                    fileName.c_str(), static_cast<int32_t>(getUint32(env, args.values[2])));
  return promise;
}

// throwNative(kind): what the boundary makes of each kind of native exception.
napi_value throwNative(napi_env env, napi_callback_info info) {
  auto args = GetCallbackArguments<1>(env, info);
  const std::string kind = GetCXXString(env, args.values[0], ZANDREL_HERE());
  if (kind == "Error") {
    throw js::Error("native failure", ZANDREL_HERE());
  }
  if (kind == "TypeError") {
    throw js::TypeError("native type failure", ZANDREL_HERE());
  }
  if (kind == "standard") {
    throw std::runtime_error("standard failure");
  }
  throw 42;
}

// The scheduler.

struct ProducerContext {
  std::shared_ptr<SharedValue> callback;
  std::thread::id jsThread;
};
using ItemExecutor = ExecutorInCurrentLoop<ProducerContext, uint32_t, uint32_t, Probe>;

// callback(producer, sequence, ranOnItsOwnThread)
void runProducedItem(napi_env env, napi_async_context context, const ProducerContext& producer,
                     uint32_t& index, uint32_t& sequence, Probe& probe) {
  probe.ran = true;
  napi_value onOwnThread = CreateBool(env, std::this_thread::get_id() == producer.jsThread);
  napi_value indexValue = nullptr;
  napi_value sequenceValue = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_uint32(env, index, &indexValue));
  KESTRO_NAPI_CALL(env, napi_create_uint32(env, sequence, &sequenceValue));
  CallJSCallback(env, globalObject(env), producer.callback->value(), context,
                 {indexValue, sequenceValue, onOwnThread});
}

// startProducers(threads, perThread, callback, join, pauseMicros): native
// threads that each schedule perThread items (perThread 0: until the
// environment refuses them). With join, returns once all are scheduled (so the
// next drain finds them all).
napi_value startProducers(napi_env env, napi_callback_info info) {
  auto args = GetCallbackArguments<5>(env, info);
  const uint32_t threads = getUint32(env, args.values[0]);
  const uint32_t perThread = getUint32(env, args.values[1]);
  const ItemExecutor executor(
      "testItem", env, {SharedValue::create(env, args.values[2]), std::this_thread::get_id()},
      &runProducedItem, KeepsLoopAlive::Yes);
  const bool join = GetBool(env, args.values[3]);
  const auto pause = std::chrono::microseconds(getUint32(env, args.values[4]));
  std::vector<std::thread> started;
  for (uint32_t index = 0; index < threads; ++index) {
    runningProducers.fetch_add(1);
    started.emplace_back([executor, index, perThread, pause] {
      const bool untilRefused = perThread == 0;
      for (uint32_t sequence = 0; untilRefused || sequence < perThread; ++sequence) {
        if (!executor(index, sequence, Probe{}) && untilRefused) {
          break;
        }
        std::this_thread::sleep_for(pause);
      }
      runningProducers.fetch_sub(1);
    });
  }
  for (std::thread& thread : started) {
    join ? thread.join() : thread.detach();
  }
  return undefinedValue(env);
}

// Blocks the JavaScript thread until every producer has finished; returns how
// many items were destroyed without running so far.
napi_value waitForProducers(napi_env env, napi_callback_info) {
  while (runningProducers.load() != 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  napi_value result = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_int64(env, droppedItems.load(), &result));
  return result;
}

napi_value drainCount(napi_env env, napi_callback_info) {
  napi_value result = nullptr;
  KESTRO_NAPI_CALL(
      env, napi_create_int64(env, static_cast<int64_t>(asyncForEnv(env)->drainCount()), &result));
  return result;
}

void scheduleStep(WakeUpHandle handle, std::shared_ptr<SharedValue> callback, uint32_t step,
                  std::shared_ptr<void> hold) {
  scheduleAsyncWork(handle, [=](napi_async_context context) {
    napi_env env = callback->env();
    if (step == 0) {
      throw js::Error("failing work item", ZANDREL_HERE());
    }
    CallJSCallback(env, globalObject(env), callback->value(), context, {CreateInt32(env, step)});
    scheduleStep(handle, callback, step - 1, hold);
  });
}

// scheduleChain(steps, callback): an item that calls callback(steps) and
// schedules the next, down to callback(1); then one item that throws.
napi_value scheduleChain(napi_env env, napi_callback_info info) {
  auto args = GetCallbackArguments<2>(env, info);
  WakeUpHandle handle = asyncForEnv(env);
  scheduleStep(handle, SharedValue::create(env, args.values[1]), getUint32(env, args.values[0]),
               holdLoopOpen(handle));
  return undefinedValue(env);
}

// resolveLater(millis): a promise resolved with "resolved" from another thread.
void settle(napi_env env, napi_async_context, const napi_deferred& deferred) {
  KESTRO_NAPI_CALL(env, napi_resolve_deferred(env, deferred, CreateString(env, "resolved")));
}

napi_value resolveLater(napi_env env, napi_callback_info info) {
  auto args = GetCallbackArguments<1>(env, info);
  napi_deferred deferred = nullptr;
  napi_value promise = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_promise(env, &deferred, &promise));
  ExecutorInCurrentLoop<napi_deferred> executor("resolveLater", env, deferred, &settle,
                                                KeepsLoopAlive::Yes);
  std::thread([executor, millis = getUint32(env, args.values[0])] {
    std::this_thread::sleep_for(std::chrono::milliseconds(millis));
    executor();
  }).detach();
  return promise;
}

napi_value asyncForUnknownEnv(napi_env, napi_callback_info) {
  asyncForEnv(nullptr);
  return nullptr;
}

// Sets the environment up a second time; true when the first set-up stayed.
napi_value setUpAgain(napi_env env, napi_callback_info) {
  WakeUpHandle first = asyncForEnv(env);
  setupEnvironmentForCallbacks(env);
  return CreateBool(env, asyncForEnv(env) == first);
}

napi_value registerModule(napi_env env, napi_value exports) {
  return WrapCallback(env, [&] {
    const napi_property_descriptor properties[] = {
        Method("typeCheck", &Exported<&typeCheck>),
        Method("getString", &Exported<&getString>),
        Method("getStringOrEmpty", &Exported<&getStringOrEmpty>),
        Method("createBool", &Exported<&createBool>),
        Method("makeObject", &Exported<&makeObject>),
        Method("callJS", &Exported<&callJS>),
        Method("callWithUnsetArgument", &Exported<&callWithUnsetArgument>),
        Method("reject", &Exported<&reject>),
        Method("throwNative", &Exported<&throwNative>),
        Method("startProducers", &Exported<&startProducers>),
        Method("waitForProducers", &Exported<&waitForProducers>),
        Method("drainCount", &Exported<&drainCount>),
        Method("scheduleChain", &Exported<&scheduleChain>),
        Method("resolveLater", &Exported<&resolveLater>),
        Method("asyncForUnknownEnv", &Exported<&asyncForUnknownEnv>),
        Method("setUpAgain", &Exported<&setUpAgain>),
    };
    KESTRO_NAPI_CALL(env, napi_define_properties(env, exports, std::size(properties), properties));
    setupEnvironmentForCallbacks(env);
    return exports;
  });
}

}  // namespace

KESTRO_NAPI_MODULE("zandrel_test", registerModule)
