#pragma once

// KESTRO_NAPI_MODULE(name, registerFunction): the module's entry point. It
// defines and exports the two symbols the host looks up in a module's file,
// napi_register_module_v1 (calls `registerFunction`) and
// node_api_module_get_api_version_v1 (the Node-API version the module is
// built against), and nothing else is exported (cmake/node-module.map).
// `name` (a string literal) names the module for the reader only.
//
// The host calls `registerFunction` on the JavaScript thread of every
// environment that loads the module: the main thread and worker threads, at
// the same time or one after another, also when an environment that loaded
// the module earlier has ended and the file stayed loaded. (A registration
// from a static initialiser runs only when the file is first mapped, so a
// worker loading the module after such an end was refused with "Module did
// not self-register".)
//
// Write it once, at namespace scope of the module's registration source. The
// registration function must run its body through WrapCallback (Boundary.h).

#include <node_api.h>

#define KESTRO_NAPI_MODULE(name, registerFunction)               \
  static_assert(sizeof(name) > 1, "a Node module needs a name"); \
  NAPI_MODULE(name, registerFunction)
