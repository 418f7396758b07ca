#include "Zandrel/NapiUtils/src/StringUtils.h"

#include <algorithm>

#include "Logging/Shared/Client/src/CallTracing.h"
#include "Zandrel/NapiUtils/src/Base.h"

namespace quorvane::kestro::napi {

using logging::SyncTracing;

namespace {

// The host stops before a character that does not fit whole, so a read that
// left fewer free bytes than the longest UTF-8 character may be cut short.
constexpr size_t kLongestUtf8Character = 4;

}  // namespace

napi_value CreateString(napi_env env, const char* begin, const char* end) {
  SyncTracing trace("CreateString");
  napi_value result = nullptr;
  KESTRO_NAPI_CALL(env,
                   napi_create_string_utf8(env, begin, static_cast<size_t>(end - begin), &result));
  return result;
}

std::string GetCXXString(napi_env env, napi_value value, js::SourceLocation caller) {
  SyncTracing trace("GetCXXString");
  try {
    size_t length = 0;
    KESTRO_NAPI_CALL(env, napi_get_value_string_utf8(env, value, nullptr, 0, &length));
    // Room for the terminating zero the host writes; not part of the result.
    std::string result(length + 1, '\0');
    size_t copied = 0;
    KESTRO_NAPI_CALL(env,
                     napi_get_value_string_utf8(env, value, result.data(), length + 1, &copied));
    result.resize(copied);
    return result;
  } catch (...) {
    js::rethrowWithFrame(caller);
  }
}

void ReadCXXString(napi_env env, napi_value value, std::string& out, js::SourceLocation caller) {
  SyncTracing trace("ReadCXXString");
  try {
    // The host writes a terminating zero after the bytes; a string has room
    // for one at data()[size()]. Grown to the previous text's length, not to
    // the storage's: a resize fills what it adds, and storage left by one
    // long text would otherwise be filled again on every later read.
    out.resize(std::max(out.size(), kFirstReadBytes));
    size_t copied = 0;
    KESTRO_NAPI_CALL(env,
                     napi_get_value_string_utf8(env, value, out.data(), out.size() + 1, &copied));
    if (copied + kLongestUtf8Character > out.size()) {
      size_t length = 0;
      KESTRO_NAPI_CALL(env, napi_get_value_string_utf8(env, value, nullptr, 0, &length));
      out.resize(length);
      KESTRO_NAPI_CALL(env,
                       napi_get_value_string_utf8(env, value, out.data(), length + 1, &copied));
    }
    out.resize(copied);
  } catch (...) {
    js::rethrowWithFrame(caller);
  }
}

std::string GetCXXStringOrEmptyStringIfNull(napi_env env, napi_value value,
                                            js::SourceLocation caller) {
  SyncTracing trace("GetCXXStringOrEmptyStringIfNull");
  try {
    if (CheckType(env, value, napi_null) || CheckType(env, value, napi_undefined)) {
      return {};
    }
    return GetCXXString(env, value, ZANDREL_HERE());
  } catch (...) {
    js::rethrowWithFrame(caller);
  }
}

}  // namespace quorvane::kestro::napi
