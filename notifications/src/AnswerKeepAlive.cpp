#include "notifications/src/AnswerKeepAlive.h"

#include <mutex>
#include <set>
#include <vector>

#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/Threading.h"

namespace quorvane::kestro::notifications {

namespace {

struct EndedWatch {
  std::mutex mutex;
  std::set<napi_env> watched;
};

// Never destroyed: environments end, and the centre's threads report, while
// the process exits.
EndedWatch& endedWatch() {
  static auto* watch = new EndedWatch;
  return *watch;
}

void environmentEnded(void* arg) {
  const auto env = static_cast<napi_env>(arg);
  {
    EndedWatch& watch = endedWatch();
    std::lock_guard<std::mutex> lock(watch.mutex);
    watch.watched.erase(env);
  }
  answerableNotifications().environmentEnded(env);
}

}  // namespace

AnswerableNotifications& answerableNotifications() {
  static auto* answerable =
      new AnswerableNotifications([](AnswerableNotifications::Environment env) {
        return napi::holdLoopOpen(napi::asyncForEnv(static_cast<napi_env>(env)));
      });
  return *answerable;
}

std::shared_ptr<KestroNotificationCenterDelegate> sharedDelegateHearingRemovals() {
  std::shared_ptr<KestroNotificationCenterDelegate> delegate =
      KestroNotificationCenterDelegate::sharedDelegate();
  if (delegate) {
    static std::once_flag once;
    std::call_once(once, [&] {
      delegate->setOnNotificationsRemoved([](const std::vector<std::string>& identifiers) {
        answerableNotifications().noLongerShown(identifiers);
      });
    });
  }
  return delegate;
}

void forgetAnswersWhenEnded(napi_env env) {
  EndedWatch& watch = endedWatch();
  std::lock_guard<std::mutex> lock(watch.mutex);
  if (watch.watched.count(env) != 0) {
    return;  // a second registration in the same environment
  }
  KESTRO_NAPI_CALL(env, napi_add_env_cleanup_hook(env, &environmentEnded, env));
  watch.watched.insert(env);
}

}  // namespace quorvane::kestro::notifications
