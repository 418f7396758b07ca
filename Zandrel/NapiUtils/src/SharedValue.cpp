#include "Zandrel/NapiUtils/src/SharedValue.h"

#include <utility>

#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/internal/EnvironmentLife.h"

namespace quorvane::kestro::napi {

std::shared_ptr<SharedValue> SharedValue::create(napi_env env, napi_value value) {
  auto life = internal::environmentLife(env);
  napi_ref reference = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_reference(env, value, 1, &reference));
  try {
    return std::make_shared<SharedValue>(Token{}, env, reference, std::move(life));
  } catch (...) {
    napi_delete_reference(env, reference);
    throw;
  }
}

SharedValue::SharedValue(Token, napi_env env, napi_ref reference,
                         std::shared_ptr<const internal::EnvironmentLife> life)
    : env_(env), reference_(reference), life_(std::move(life)) {}

SharedValue::~SharedValue() {
  if (life_->callableHere()) {
    // Statuses not looked at: a destructor has no one to tell, and a failed
    // release only leaves the reference to the environment's teardown.
    napi_reference_unref(env_, reference_, nullptr);
    napi_delete_reference(env_, reference_);
  }
}

napi_value SharedValue::value() const {
  napi_value result = nullptr;
  KESTRO_NAPI_CALL(env_, napi_get_reference_value(env_, reference_, &result));
  return result;
}

}  // namespace quorvane::kestro::napi
