#include "Zandrel/NapiUtils/src/Threading.h"

#include <map>
#include <mutex>
#include <shared_mutex>

#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/internal/CallbackEnvironment.h"
#include "Zandrel/NapiUtils/src/internal/HotPathTracing.h"
#include "common/logging/Log.h"
#include "common/utilities/ExceptionString.h"

namespace quorvane::kestro::napi {

using internal::CallbackEnvironment;
using logging::SyncTracing;

namespace {

struct Registry {
  std::shared_mutex mutex;
  std::map<napi_env, WakeUpHandle> environments;
};

// Never destroyed: at process exit producers may still hold handles, and
// nothing here may call into an environment that is being torn down.
Registry& registry() {
  static auto* instance = new Registry;
  return *instance;
}

// Per JavaScript thread: the async context of each environment drained on it.
thread_local std::map<napi_env, AsyncContext> asyncContexts;

// The environment's cleanup hook, on its JavaScript thread.
void environmentEnded(void* arg) {
  auto* ended = static_cast<CallbackEnvironment*>(arg);
  WakeUpHandle environment;
  {
    Registry& r = registry();
    std::unique_lock lock(r.mutex);
    auto found = r.environments.find(ended->env());
    if (found == r.environments.end() || found->second.get() != ended) {
      return;
    }
    environment = std::move(found->second);
    r.environments.erase(found);
  }
  environment->close();
}

bool isRegistered(napi_env env) {
  Registry& r = registry();
  std::shared_lock lock(r.mutex);
  return r.environments.count(env) != 0;
}

}  // namespace

void setupEnvironmentForCallbacks(napi_env env) {
  SyncTracing trace("setupEnvironmentForCallbacks");
  KLOG(INFO) << "Setting up environment " << static_cast<const void*>(env)
             << " for async callbacks";
  if (isRegistered(env)) {
    return;  // the first set-up stays in force
  }
  WakeUpHandle environment = CallbackEnvironment::open(env);
  try {
    KESTRO_NAPI_CALL(env, napi_add_env_cleanup_hook(env, &environmentEnded, environment.get()));
  } catch (...) {
    environment->close();
    throw;
  }
  Registry& r = registry();
  std::unique_lock lock(r.mutex);
  r.environments.emplace(env, std::move(environment));
}

WakeUpHandle asyncForEnv(napi_env env) {
  SyncTracing trace("asyncForEnv");
  Registry& r = registry();
  std::shared_lock lock(r.mutex);
  auto found = r.environments.find(env);
  if (found == r.environments.end()) {
    throw js::Error("Can't run callbacks, this env is not setup", ZANDREL_HERE());
  }
  return found->second;
}

bool scheduleAsyncWork(const WakeUpHandle& handle, WorkFunction work) {
  internal::HotPathTracing trace("scheduleAsyncWork");
  return handle->schedule(QueuedWork(std::move(work)));
}

void runQueuedWork(uv_async_t* handle) noexcept {
  try {
    static_cast<CallbackEnvironment*>(handle->data)->runQueuedWork();
  } catch (const std::exception& ex) {
    KLOG(ERR) << "Running queued work failed: " << exceptionDescription(ex);
  }
}

AsyncContext& getQsynCallbackContext(napi_env env) {
  internal::HotPathTracing trace("getQsynCallbackContext");
  auto [place, made] = asyncContexts.try_emplace(env);
  if (made) {
    SyncTracing making("AsyncContext");
    place->second.env = env;
    // Statuses not looked at: without a context the host calls back under its
    // default one. The scope only holds the resource name while the context is
    // made (the context keeps its own reference).
    napi_handle_scope scope = nullptr;
    napi_open_handle_scope(env, &scope);
    napi_value name = nullptr;
    napi_create_string_utf8(env, "QSYN Callback", 13, &name);
    napi_async_init(env, nullptr, name, &place->second.context);
    napi_close_handle_scope(env, scope);
  }
  return place->second;
}

std::shared_ptr<void> holdLoopOpen(const WakeUpHandle& handle) { return handle->holdLoop(); }

namespace internal {

void forgetAsyncContext(napi_env env) {
  auto found = asyncContexts.find(env);
  if (found == asyncContexts.end()) {
    return;
  }
  if (found->second.context != nullptr) {
    napi_async_destroy(env, found->second.context);
  }
  asyncContexts.erase(found);
}

}  // namespace internal

}  // namespace quorvane::kestro::napi
