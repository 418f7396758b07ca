#include "Zandrel/NapiUtils/src/internal/CallbackEnvironment.h"

#include <cstddef>
#include <optional>
#include <string>

#include "Logging/Shared/Client/src/CallTracing.h"
#include "Zandrel/NapiUtils/src/Base.h"
#include "common/logging/Log.h"
#include "common/utilities/ExceptionString.h"

namespace quorvane::kestro::napi::internal {

using logging::SyncTracing;

namespace {

// Handles made by the items of one batch are released every this many items,
// so a long batch does not pile up handles; the scope is still paid per batch
// of this size, not per item.
constexpr size_t kItemsPerHandleScope = 1024;

// A drain checks every this many items whether its environment still runs
// JavaScript (the check costs about as much as a small item).
constexpr size_t kItemsPerStopCheck = 16;

std::string describeCurrentException() {
  try {
    throw;
  } catch (const js::Error& error) {
    return error.what() + error.where();
  } catch (const std::exception& ex) {
    return exceptionDescription(ex);
  } catch (...) {
    return "<unknown exception>";
  }
}

// A JavaScript exception an item left pending is the process's uncaught
// exception, as for a throwing callback (CallJSCallback).
void reportPendingException(napi_env env) {
  bool pending = false;
  if (napi_is_exception_pending(env, &pending) != napi_ok || !pending) {
    return;
  }
  napi_value exception = nullptr;
  if (napi_get_and_clear_last_exception(env, &exception) == napi_ok) {
    napi_fatal_exception(env, exception);
  }
}

// Whether the environment still runs JavaScript. A stopping environment
// refuses every call that may run JavaScript with napi_pending_exception while
// no exception is pending (the host's coercion is such a call, and cheap).
bool canRunJavaScript(napi_env env) {
  napi_value probe = nullptr;
  napi_value coerced = nullptr;
  napi_get_undefined(env, &probe);
  if (napi_coerce_to_bool(env, probe, &coerced) != napi_pending_exception) {
    return true;
  }
  bool pending = false;
  return napi_is_exception_pending(env, &pending) == napi_ok && pending;
}

// Ends a drain early (the queue's drain stops at an exception from its
// consumer, after destroying the item).
struct StopDraining {};

class HandleScope {
 public:
  explicit HandleScope(napi_env env) : env_(env) {
    KESTRO_NAPI_CALL(env, napi_open_handle_scope(env, &scope_));
  }
  ~HandleScope() { napi_close_handle_scope(env_, scope_); }
  HandleScope(const HandleScope&) = delete;
  HandleScope& operator=(const HandleScope&) = delete;

 private:
  napi_env env_;
  napi_handle_scope scope_ = nullptr;
};

}  // namespace

std::shared_ptr<CallbackEnvironment> CallbackEnvironment::open(napi_env env) {
  auto environment = std::make_shared<CallbackEnvironment>(Token{}, env);
  uv_loop_t* loop = nullptr;
  KESTRO_NAPI_CALL(env, napi_get_uv_event_loop(env, &loop));
  if (const int result = uv_async_init(loop, &environment->handle_, &napi::runQueuedWork);
      result != 0) {
    throw js::Error(std::string("Can't create the wake-up handle: ") + uv_strerror(result),
                    ZANDREL_HERE());
  }
  environment->handle_.data = environment.get();
  // The handle alone does not keep the process running (holds do).
  uv_unref(reinterpret_cast<uv_handle_t*>(&environment->handle_));
  return environment;
}

CallbackEnvironment::CallbackEnvironment(Token, napi_env env)
    : env_(env), queue_(&CallbackEnvironment::wakeUp, this) {}

void CallbackEnvironment::wakeUp(void* self) {
  uv_async_send(&static_cast<CallbackEnvironment*>(self)->handle_);
}

void CallbackEnvironment::runQueuedWork() {
  SyncTracing trace("runQueuedWork");
  queue_.wakeUpReceived();
  if (!queue_.empty() && !ending_) {
    ++drainCount_;
    drainBatch();
  }
  releaseLoopIfUnheld();
}

void CallbackEnvironment::drainBatch() {
  const napi_async_context context = getQsynCallbackContext(env_).context;
  std::optional<HandleScope> scope(std::in_place, env_);
  size_t inScope = 0;
  try {
    queue_.drain([&](QueuedWork&& item) {
      if (inScope == kItemsPerHandleScope) {
        scope.reset();
        scope.emplace(env_);
        inScope = 0;
      }
      ++inScope;
      runItem(item, context);
      if (inScope % kItemsPerStopCheck == 0 && !canRunJavaScript(env_)) {
        throw StopDraining{};
      }
    });
  } catch (const StopDraining&) {
    // The environment is stopping (a worker terminates): the rest, and
    // whatever comes later, is left to the cleanup hook, so producers cannot
    // keep this drain, and with it the environment, going.
    ending_ = true;
  }
}

void CallbackEnvironment::runItem(QueuedWork& item, napi_async_context context) {
  napi_async_context itemContext = nullptr;
  {
    SyncTracing trace("node_context");
    itemContext = context;
  }
  try {
    item(itemContext);
  } catch (const js::EnvironmentEnding&) {
    // Not a fault: the item cannot run any more, nor can those after it.
    ++droppedAtEnd_;
    throw StopDraining{};
  } catch (...) {
    KLOG(ERR) << "A work item on the JavaScript thread failed: " << describeCurrentException();
  }
  reportPendingException(env_);
}

std::shared_ptr<void> CallbackEnvironment::holdLoop() {
  holds_.fetch_add(1, std::memory_order_relaxed);
  if (!loopReferenced_ && !queue_.closed()) {
    uv_ref(reinterpret_cast<uv_handle_t*>(&handle_));
    loopReferenced_ = true;
  }
  // The deleter runs also when making the token fails, so the count stays
  // right.
  return std::shared_ptr<void>(nullptr,
                               [self = shared_from_this()](void*) { self->releaseHold(); });
}

void CallbackEnvironment::releaseHold() noexcept {
  if (holds_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    // The JavaScript thread unreferences the handle (libuv calls belong
    // there): wake it to look.
    queue_.wake();
  }
}

void CallbackEnvironment::releaseLoopIfUnheld() {
  if (loopReferenced_ && holds_.load(std::memory_order_acquire) == 0) {
    uv_unref(reinterpret_cast<uv_handle_t*>(&handle_));
    loopReferenced_ = false;
  }
}

void CallbackEnvironment::close() {
  if (const uint64_t dropped = droppedAtEnd_ + queue_.close(); dropped != 0) {
    KLOG(INFO) << "Environment " << static_cast<const void*>(env_) << " ended: dropped " << dropped
               << " work items that could no longer run";
  }
  forgetAsyncContext(env_);
  selfUntilClosed_ = shared_from_this();
  uv_close(reinterpret_cast<uv_handle_t*>(&handle_), [](uv_handle_t* handle) {
    auto* self = static_cast<CallbackEnvironment*>(handle->data);
    // May destroy the environment record when no producer holds it.
    std::shared_ptr<CallbackEnvironment> last = std::move(self->selfUntilClosed_);
  });
}

}  // namespace quorvane::kestro::napi::internal
