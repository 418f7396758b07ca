// handoff_bench.node: the scheduler's hand-off to the JavaScript thread beside
// Node's own thread-safe function (unlimited queue, non-blocking calls), for
// bench/napi/handoff_bench.js.
//
//   flood(kind, producers, itemsPerProducer) -> Promise<{seconds, medianNs, p99Ns}>
//     native threads push as fast as they can; the promise resolves on the
//     JavaScript thread when the last item has run. Latencies are push to run.
//   paced(kind, items, gapMicros) -> Promise<{medianNs, p99Ns}>
//     one thread pushes an item, waits until it has run, then pauses so that
//     the JavaScript thread is back asleep before the next push: the latency
//     of a wake-up from idle.
//
// kind: "zandrel" (scheduleAsyncWork) or "tsfn" (napi_threadsafe_function).
// Each item carries the same record (the run and the push time) as each
// interface takes it: inside the work callable for the scheduler, behind the
// data pointer (allocated per item) for the thread-safe function. In a flood
// every 64th item is timed (clock reads would otherwise dominate both).

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/Boundary.h"
#include "Zandrel/NapiUtils/src/ModuleRegistration.h"
#include "Zandrel/NapiUtils/src/ObjectUtils.h"
#include "Zandrel/NapiUtils/src/StringUtils.h"
#include "Zandrel/NapiUtils/src/Threading.h"

namespace {

using namespace quorvane::kestro::napi;
using Clock = std::chrono::steady_clock;

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// One measurement. Written by producers (pushed) and by the JavaScript thread
// (everything else).
struct Run {
  napi_env env = nullptr;
  napi_deferred deferred = nullptr;
  uint64_t total = 0;
  uint64_t ran = 0;
  std::atomic<uint64_t> acknowledged{0};  // for ping-pong
  int64_t startNs = 0;
  std::vector<int64_t> latencies;
  napi_threadsafe_function tsfn = nullptr;
  std::shared_ptr<void> loopHold;
  std::vector<std::thread> producers;
};

struct Item {
  Run* run;
  int64_t pushedNs;  // 0: not timed
};

constexpr uint64_t kTimedEvery = 64;

double percentile(std::vector<int64_t>& values, double fraction) {
  auto place = values.begin() + static_cast<ptrdiff_t>(fraction * (values.size() - 1));
  std::nth_element(values.begin(), place, values.end());
  return static_cast<double>(*place);
}

void finish(Run* run) {
  for (std::thread& producer : run->producers) {
    producer.join();
  }
  napi_env env = run->env;
  napi_value result = nullptr;
  napi_create_object(env, &result);
  auto setNumber = [&](const char* name, double value) {
    napi_value number = nullptr;
    napi_create_double(env, value, &number);
    SetNamedPropertyValue(env, result, name, number);
  };
  setNumber("seconds", static_cast<double>(nowNs() - run->startNs) / 1e9);
  setNumber("medianNs", percentile(run->latencies, 0.5));
  setNumber("p99Ns", percentile(run->latencies, 0.99));
  napi_resolve_deferred(env, run->deferred, result);
  if (run->tsfn != nullptr) {
    napi_release_threadsafe_function(run->tsfn, napi_tsfn_release);
  }
  delete run;
}

// On the JavaScript thread, either way.
void itemRan(const Item& item) {
  Run* run = item.run;
  if (item.pushedNs != 0) {
    run->latencies.push_back(nowNs() - item.pushedNs);
  }
  ++run->ran;
  run->acknowledged.store(run->ran, std::memory_order_release);
  run->acknowledged.notify_one();
  if (run->ran == run->total) {
    finish(run);
  }
}

void tsfnCall(napi_env, napi_value, void*, void* data) {
  std::unique_ptr<Item> item(static_cast<Item*>(data));
  itemRan(*item);
}

// The push of one item, either way; any thread.
void push(Run* run, const WakeUpHandle& handle, bool timed) {
  const Item item{run, timed ? nowNs() : 0};
  if (run->tsfn != nullptr) {
    napi_call_threadsafe_function(run->tsfn, new Item(item), napi_tsfn_nonblocking);
  } else {
    scheduleAsyncWork(handle, [item](napi_async_context) { itemRan(item); });
  }
}

// Starts a run of `total` items; returns its promise.
napi_value startRun(napi_env env, napi_value kind, uint64_t total, Run*& run) {
  napi_value promise = nullptr;
  run = new Run;
  run->env = env;
  run->total = total;
  run->latencies.reserve(total);
  KESTRO_NAPI_CALL(env, napi_create_promise(env, &run->deferred, &promise));
  if (GetCXXString(env, kind, ZANDREL_HERE()) == "tsfn") {
    KESTRO_NAPI_CALL(env, napi_create_threadsafe_function(
                              env, nullptr, nullptr, CreateString(env, "handoff_bench"),
                              /*max_queue_size=*/0, /*initial_thread_count=*/1, nullptr, nullptr,
                              nullptr, &tsfnCall, &run->tsfn));
  } else {
    run->loopHold = holdLoopOpen(asyncForEnv(env));
  }
  run->startNs = nowNs();
  return promise;
}

uint32_t getUint32(napi_env env, napi_value value) {
  uint32_t result = 0;
  KESTRO_NAPI_CALL(env, napi_get_value_uint32(env, value, &result));
  return result;
}

napi_value flood(napi_env env, napi_callback_info info) {
  auto args = GetCallbackArguments<3>(env, info);
  const uint32_t producers = getUint32(env, args.values[1]);
  const uint32_t perProducer = getUint32(env, args.values[2]);
  Run* run = nullptr;
  napi_value promise = startRun(env, args.values[0], uint64_t{producers} * perProducer, run);
  WakeUpHandle handle = asyncForEnv(env);
  for (uint32_t p = 0; p < producers; ++p) {
    run->producers.emplace_back([run, handle, perProducer] {
      for (uint32_t i = 0; i < perProducer; ++i) {
        push(run, handle, /*timed=*/i % kTimedEvery == 0);
      }
    });
  }
  return promise;
}

napi_value paced(napi_env env, napi_callback_info info) {
  auto args = GetCallbackArguments<3>(env, info);
  const uint32_t items = getUint32(env, args.values[1]);
  const auto gap = std::chrono::microseconds(getUint32(env, args.values[2]));
  Run* run = nullptr;
  napi_value promise = startRun(env, args.values[0], items, run);
  WakeUpHandle handle = asyncForEnv(env);
  run->producers.emplace_back([run, handle, items, gap] {
    for (uint64_t i = 0; i < items; ++i) {
      push(run, handle, /*timed=*/true);
      // The last item's run frees the record: do not look at it then.
      if (i + 1 < items) {
        run->acknowledged.wait(i, std::memory_order_acquire);
        std::this_thread::sleep_for(gap);
      }
    }
  });
  return promise;
}

napi_value registerBench(napi_env env, napi_value exports) {
  return WrapCallback(env, [&] {
    const napi_property_descriptor properties[] = {
        Method("flood", &Exported<&flood>),
        Method("paced", &Exported<&paced>),
    };
    KESTRO_NAPI_CALL(env, napi_define_properties(env, exports, std::size(properties), properties));
    setupEnvironmentForCallbacks(env);
    return exports;
  });
}

}  // namespace

KESTRO_NAPI_MODULE("handoff_bench", registerBench)
