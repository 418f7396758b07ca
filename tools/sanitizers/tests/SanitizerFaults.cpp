// A test-only Node module with deliberate faults, for the tests of the
// sanitizer report filter (tools/sanitizers): each function makes the
// sanitizer of the build see one fault, in this module's own code or in
// node's.
//
//   race()            two threads of this module write one variable without
//                     synchronisation (ThreadSanitizer: a data race whose two
//                     stacks are this module's).
//   overflow()        reads one byte past a heap block in this module's code
//                     (AddressSanitizer: heap-buffer-overflow).
//   poison(buffer)    marks the first 16 bytes of a Buffer that node
//                     allocated (at least that long) as unaddressable, so
//                     that node's own next copy into it trips
//                     AddressSanitizer inside node (no frame of this module
//                     is in that report). Does nothing without it.
//   unpoison(buffer)  undoes poison.

#include <node_api.h>

#include <cstddef>
#include <memory>
#include <thread>

#include "Zandrel/NapiUtils/src/ModuleRegistration.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace {

// Written by both threads of race(); volatile so that every write happens.
volatile int raced = 0;

void writeRaced() {
  for (int i = 0; i < 1000; ++i) {
    raced = raced + 1;
  }
}

napi_value undefinedValue(napi_env env) {
  napi_value result = nullptr;
  napi_get_undefined(env, &result);
  return result;
}

napi_value race(napi_env env, napi_callback_info) {
  std::thread first(writeRaced);
  std::thread second(writeRaced);
  first.join();
  second.join();
  return undefinedValue(env);
}

napi_value overflow(napi_env env, napi_callback_info) {
  const auto block = std::make_unique<char[]>(8);
  volatile char* bytes = block.get();
  volatile size_t past = 8;  // volatile: the compiler does not see the fault
  napi_value result = nullptr;
  napi_create_int32(env, bytes[past], &result);
  return result;
}

// Poisoning works on whole 8-byte granules of shadow: two of them.
constexpr size_t kPoisoned = 16;

// The start of the Buffer passed, or null for anything else or a shorter one.
void* bufferStart(napi_env env, napi_callback_info info) {
  size_t count = 1;
  napi_value argument = nullptr;
  void* data = nullptr;
  size_t length = 0;
  if (napi_get_cb_info(env, info, &count, &argument, nullptr, nullptr) != napi_ok || count < 1 ||
      napi_get_buffer_info(env, argument, &data, &length) != napi_ok || length < kPoisoned) {
    return nullptr;
  }
  return data;
}

// Makes the start of the Buffer passed unaddressable, or addressable again.
napi_value setPoisoned(napi_env env, napi_callback_info info, [[maybe_unused]] bool poisoned) {
  [[maybe_unused]] void* start = bufferStart(env, info);
#if defined(__SANITIZE_ADDRESS__)
  if (start != nullptr && poisoned) {
    ASAN_POISON_MEMORY_REGION(start, kPoisoned);
  } else if (start != nullptr) {
    ASAN_UNPOISON_MEMORY_REGION(start, kPoisoned);
  }
#endif
  return undefinedValue(env);
}

napi_value poison(napi_env env, napi_callback_info info) {
  return setPoisoned(env, info, /*poisoned=*/true);
}

napi_value unpoison(napi_env env, napi_callback_info info) {
  return setPoisoned(env, info, /*poisoned=*/false);
}

napi_value registerModule(napi_env env, napi_value exports) {
  const napi_property_descriptor properties[] = {
      {"race", nullptr, race, nullptr, nullptr, nullptr, napi_default, nullptr},
      {"overflow", nullptr, overflow, nullptr, nullptr, nullptr, napi_default, nullptr},
      {"poison", nullptr, poison, nullptr, nullptr, nullptr, napi_default, nullptr},
      {"unpoison", nullptr, unpoison, nullptr, nullptr, nullptr, napi_default, nullptr},
  };
  napi_define_properties(env, exports, std::size(properties), properties);
  return exports;
}

}  // namespace

KESTRO_NAPI_MODULE("sanitizer_faults", registerModule)
