#pragma once

// KESTRO_NAPI_MODULE(name, registerFunction): registers a Node module from a
// static initialiser, so while the module's file is loaded: version 1, no
// flags, this source file's path as file name, `registerFunction` (run by the
// host on the JavaScript thread of every environment that loads the module,
// also worker threads) and the module name `name` (a string literal).
//
// Write it once, at namespace scope of the module's registration source. The
// registration function must run its body through WrapCallback (Boundary.h).
// The module exports no symbol of its own for this.

#include <node_api.h>

#define KESTRO_NAPI_MODULE(name, registerFunction)                                           \
  namespace {                                                                                \
  napi_module kestroNapiModule_ = {1, 0, __FILE__, (registerFunction), (name), nullptr, {}}; \
  [[maybe_unused]] const bool kestroNapiModuleRegistered_ =                                  \
      (napi_module_register(&kestroNapiModule_), true);                                      \
  }
