#pragma once

// Setting named properties on JavaScript objects, and listing an object's own.
//
// GetOwnPropertyNames: the object's own enumerable string-keyed property
// names (array indices as strings), as JavaScript strings in the host's
// order; a failed host call throws js::Error.
//
// The store itself is not checked (a failed store leaves the object without
// the property; a JavaScript exception it raised stays pending for the
// boundary). Making the stored value may throw js::Error: CreateString's for
// strings, and for numbers an error located at this file's "SetNamedProperty".
//
// JavaScript thread only; each runs in a trace scope named after itself.

#include <node_api.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::kestro::napi {

void SetNamedPropertyValue(napi_env env, napi_value object, const std::string& name,
                           napi_value value);
void SetNamedPropertyString(napi_env env, napi_value object, const std::string& name,
                            std::string_view value);
void SetNamedPropertyI32(napi_env env, napi_value object, const std::string& name, int32_t value);
std::vector<napi_value> GetOwnPropertyNames(napi_env env, napi_value object);

}  // namespace quorvane::kestro::napi
