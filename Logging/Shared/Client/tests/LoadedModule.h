#pragma once

// LoadedModule: the client test module (ClientTestModule.h) loaded with
// dlopen for the lifetime of the object, and unloaded with dlclose.
//
// A module keeps some allocations for good (its logger database and
// categories, never destroyed by design, and the sanitizer runtime's records
// of its code); once it is unloaded nothing refers to them any more. Under
// AddressSanitizer the leak checker is therefore told to ignore what the
// loading thread allocates while the module is loaded, and what the module
// allocates on the threads that log() starts.
//
// Not thread-safe: one test thread creates, uses and destroys it.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "Logging/Shared/Client/tests/ClientTestModule.h"
#include "common/logging/LogLevel.h"

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

namespace quorvane::test {

// Leak checking off for the calling thread while the object lives.
class UncheckedAllocations {
 public:
#ifdef __SANITIZE_ADDRESS__
  UncheckedAllocations() { __lsan_disable(); }
  ~UncheckedAllocations() { __lsan_enable(); }
#else
  UncheckedAllocations() {}
#endif
  UncheckedAllocations(const UncheckedAllocations&) = delete;
  UncheckedAllocations& operator=(const UncheckedAllocations&) = delete;
};

class LoadedModule {
 public:
  LoadedModule() : handle_(::dlopen(CLIENT_TEST_MODULE, RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) {
      throw std::runtime_error(std::string("dlopen failed: ") + ::dlerror());
    }
    log_ = function<ClientTestModuleLog>("clientTestModuleLog");
    forwards_ = function<ClientTestModuleForwards>("clientTestModuleForwards");
  }
  ~LoadedModule() { unload(); }
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  // Logs through the module on a thread of its own: per-thread state that a
  // module leaves on a thread keeps it in memory until that thread ends.
  void log(const char* category, LogLevel level, const char* text) {
    std::thread([this, category, level, text] {
      [[maybe_unused]] UncheckedAllocations unchecked;
      log_(category, toUnderlying(level), text);
    }).join();
  }
  bool forwards() const { return forwards_(); }

  void unload() {
    if (handle_ != nullptr) {
      EXPECT_EQ(::dlclose(handle_), 0);
      handle_ = nullptr;
    }
  }

  static bool isLoaded() {
    void* handle = ::dlopen(CLIENT_TEST_MODULE, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
      ::dlclose(handle);
    }
    return handle != nullptr;
  }

 private:
  template <typename Function>
  Function function(const char* name) {
    auto found = reinterpret_cast<Function>(::dlsym(handle_, name));
    if (found == nullptr) {
      throw std::runtime_error(std::string("no ") + name + " in " + CLIENT_TEST_MODULE);
    }
    return found;
  }

  UncheckedAllocations unchecked_;  // constructed first, destroyed last
  void* handle_;
  ClientTestModuleLog log_;
  ClientTestModuleForwards forwards_;
};

}  // namespace quorvane::test
