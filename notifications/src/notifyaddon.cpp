// notifyaddon.node: the operating system's notification centre for the
// application's JavaScript. Seven functions, in this order:
//
//   initNotificationCenterDelegate(replyTitle, handler)  -> string
//   isSupported()                                         -> boolean
//   deliverNotification, removeNotificationsWithGroupIDs, removeAllNotifications,
//   requestBadgePermission, getNotificationSettings       (UNUserNotificationHelper.h)
//
// initNotificationCenterDelegate installs the categories (the reply action
// titled `replyTitle`) and makes `handler` the receiver of the user's
// responses: handler.call(thisOfTheInitCall, event, notificationId, data) on
// the JavaScript thread, event "reply" with data {reply: text}, or
// "activated" with data null. A later call replaces handler, `this` and
// title. It answers "Notification categories were set successfully", or,
// without a delegate, "Failed to initialize notification center delegate"
// (system supported) or "Notification categories and user actions are not
// supported" (below 10.14). An exception thrown by the handler becomes an
// uncaught exception of the process.
//
// While the handler is set in an environment and a notification delivered
// from there can still be answered, that environment's event loop stays alive
// (AnswerKeepAlive.h); once none can, the process or worker exits by itself.

#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Logging/Shared/Client/src/CallTracing.h"
#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/Boundary.h"
#include "Zandrel/NapiUtils/src/ModuleRegistration.h"
#include "Zandrel/NapiUtils/src/ObjectUtils.h"
#include "Zandrel/NapiUtils/src/SharedValue.h"
#include "Zandrel/NapiUtils/src/StringUtils.h"
#include "Zandrel/NapiUtils/src/Threading.h"
#include "Zandrel/NapiUtils/src/TypeUtils.h"
#include "notifications/src/AnswerKeepAlive.h"
#include "notifications/src/UNUserNotificationHelper.h"

namespace quorvane::kestro::notifications {
namespace {

using logging::SyncTracing;
using napi::SharedValue;

constexpr char kCategoriesSet[] = "Notification categories were set successfully";
constexpr char kNoDelegate[] = "Failed to initialize notification center delegate";
constexpr char kNotSupported[] = "Notification categories and user actions are not supported";

// The fixed context of every event: the handler and its `this`.
struct EventHandlerContext {
  std::shared_ptr<SharedValue> receiver;
  std::shared_ptr<SharedValue> handler;
};
using EventExecutor = napi::ExecutorInCurrentLoop<EventHandlerContext, std::string, std::string,
                                                  std::optional<NotificationEventData>>;

// One response of the user, on the JavaScript thread.
void deliverNotificationEvent(napi_env env, napi_async_context asyncContext,
                              const EventHandlerContext& context, std::string& event,
                              std::string& notificationId,
                              std::optional<NotificationEventData>& data) {
  SyncTracing trace("deliverNotificationEventCallJSCallback");
  napi_value dataValue = nullptr;
  if (data) {
    KESTRO_NAPI_CALL(env, napi_create_object(env, &dataValue));
    for (const auto& [key, text] : *data) {
      napi::SetNamedPropertyString(env, dataValue, key, text);
    }
  } else {
    dataValue = napi::GetNull(env);
  }
  napi_value receiver = context.receiver->value();
  napi_value handler = context.handler->value();
  napi::CallJSCallback(
      env, receiver, handler, asyncContext,
      {napi::CreateString(env, event), napi::CreateString(env, notificationId), dataValue});
}

napi_value isSupported(napi_env env, napi_callback_info) {
  SyncTracing trace("isSupported");
  return napi::CreateBool(env, KestroNotificationCenterDelegate::isSupported());
}

napi_value initNotificationCenterDelegate(napi_env env, napi_callback_info info) {
  SyncTracing trace("initNotificationCenterDelegate");
  auto args = napi::GetExactCallbackArguments<2>(env, info, ZANDREL_HERE());
  napi::napi_type_check(env, args.values[0], {napi_string}, ZANDREL_HERE());
  napi::napi_type_check(env, args.values[1], {napi_function}, ZANDREL_HERE());
  const std::string replyTitle = napi::GetCXXString(env, args.values[0], ZANDREL_HERE());

  std::shared_ptr<SharedValue> handler = SharedValue::create(env, args.values[1]);
  std::shared_ptr<SharedValue> receiver = SharedValue::create(env, args.thisValue);
  EventHandlerContext context{std::move(receiver), std::move(handler)};
  // Not keeping the loop alive itself: the delegate holds it for the
  // process's life. What can still be answered does (AnswerKeepAlive.h).
  const EventExecutor executor("UNUserNotification_notificationEventExecutor_cb", env,
                               std::move(context), &deliverNotificationEvent);

  auto delegate = sharedDelegateHearingRemovals();
  if (!delegate) {
    return napi::CreateString(
        env, KestroNotificationCenterDelegate::isSupported() ? kNoDelegate : kNotSupported);
  }
  delegate->setOnNotificationResponse([executor](std::string event, std::string notificationId,
                                                 std::optional<NotificationEventData> data) {
    executor(std::move(event), std::move(notificationId), std::move(data));
  });
  answerableNotifications().handlerSetIn(env);
  delegate->setNotificationCategories(replyTitle);
  return napi::CreateString(env, kCategoriesSet);
}

napi_value registerNotifyAddon(napi_env env, napi_value exports) {
  return napi::WrapCallback(env, [&] {
    using napi::Exported;
    using napi::Method;
    const napi_property_descriptor properties[] = {
        Method("initNotificationCenterDelegate", &Exported<&initNotificationCenterDelegate>),
        Method("isSupported", &Exported<&isSupported>),
        Method("deliverNotification", &Exported<&deliverNotification>),
        Method("removeNotificationsWithGroupIDs", &Exported<&removeNotificationsWithGroupIDs>),
        Method("removeAllNotifications", &Exported<&removeAllNotifications>),
        Method("requestBadgePermission", &Exported<&requestBadgePermission>),
        Method("getNotificationSettings", &Exported<&getNotificationSettings>),
    };
    KESTRO_NAPI_CALL(env, napi_define_properties(env, exports, std::size(properties), properties));
    napi::setupEnvironmentForCallbacks(env);
    forgetAnswersWhenEnded(env);
    return exports;
  });
}

}  // namespace
}  // namespace quorvane::kestro::notifications

KESTRO_NAPI_MODULE("notifyaddon", quorvane::kestro::notifications::registerNotifyAddon)
