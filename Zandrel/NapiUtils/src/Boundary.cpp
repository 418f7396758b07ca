#include "Zandrel/NapiUtils/src/Boundary.h"

#include <exception>
#include <string>

#include "Zandrel/js/src/Exception.h"
#include "common/utilities/ExceptionString.h"

namespace quorvane::kestro::napi {
namespace {

constexpr char kUnknownException[] = "<unknown exception>";

// The error to raise, made but not thrown yet; null on a host failure.
napi_value makeError(napi_env env, bool typeError, const std::string& message) {
  napi_value text = nullptr;
  napi_value error = nullptr;
  if (napi_create_string_utf8(env, message.data(), message.size(), &text) != napi_ok) {
    return nullptr;
  }
  const napi_status status = typeError ? napi_create_type_error(env, nullptr, text, &error)
                                       : napi_create_error(env, nullptr, text, &error);
  return status == napi_ok ? error : nullptr;
}

// Appends "\n" + where to the error's stack. Best effort: the message is what
// counts, so failures here leave the stack as the host made it.
void appendToStack(napi_env env, napi_value error, const std::string& where) {
  napi_value stack = nullptr;
  size_t length = 0;
  if (napi_get_named_property(env, error, "stack", &stack) != napi_ok ||
      napi_get_value_string_utf8(env, stack, nullptr, 0, &length) != napi_ok) {
    return;
  }
  std::string text(length + 1, '\0');
  napi_get_value_string_utf8(env, stack, text.data(), length + 1, &length);
  text.resize(length);
  text += '\n';
  text += where;
  napi_value extended = nullptr;
  if (napi_create_string_utf8(env, text.data(), text.size(), &extended) == napi_ok) {
    napi_set_named_property(env, error, "stack", extended);
  }
}

void raise(napi_env env, bool typeError, const std::string& message, const std::string& where) {
  napi_value error = makeError(env, typeError, message);
  if (error == nullptr) {
    napi_throw_error(env, nullptr, message.c_str());
    return;
  }
  if (!where.empty()) {
    appendToStack(env, error, where);
  }
  napi_throw(env, error);
}

void raiseCurrentException(napi_env env) {
  try {
    throw;
  } catch (const js::Error& error) {
    raise(env, error.name() == "TypeError", error.what(), error.where());
  } catch (const std::exception& ex) {
    raise(env, /*typeError=*/false, exceptionDescription(ex), {});
  } catch (...) {
    raise(env, /*typeError=*/false, kUnknownException, {});
  }
}

}  // namespace

void throwCurrentExceptionToJavaScript(napi_env env) noexcept {
  bool pending = false;
  if (napi_is_exception_pending(env, &pending) == napi_ok && pending) {
    return;
  }
  try {
    raiseCurrentException(env);
  } catch (...) {
    // Building the error failed (out of memory): raise the plainest one.
    napi_throw_error(env, nullptr, kUnknownException);
  }
}

}  // namespace quorvane::kestro::napi
