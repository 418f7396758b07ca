#include "notifications/src/UNUserNotificationHelper.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "Logging/Shared/Client/src/CallTracing.h"
#include "Zandrel/NapiUtils/src/Base.h"
#include "Zandrel/NapiUtils/src/ObjectUtils.h"
#include "Zandrel/NapiUtils/src/Rejection.h"
#include "Zandrel/NapiUtils/src/StringUtils.h"
#include "Zandrel/NapiUtils/src/Threading.h"
#include "Zandrel/NapiUtils/src/TypeUtils.h"
#include "notifications/src/AnswerKeepAlive.h"
#include "platform/UserNotifications/NotificationCenter.h"

namespace quorvane::kestro::notifications {

namespace un = platform::notifications;
using logging::SyncTracing;
using napi::ExecutorInCurrentLoop;
using napi::KeepsLoopAlive;

namespace {

constexpr un::OperatingSystemVersion kAuthorizeBeforeDeliveryMinimum{10, 15, 0};

constexpr un::AuthorizationOptions kDeliveryAuthorization =
    un::kAuthorizationOptionAlert | un::kAuthorizationOptionSound | un::kAuthorizationOptionBadge;

constexpr char kNotSupportedMessage[] = "UNUserNotificationCenter not supported on this version";
constexpr char kDeniedMessage[] = "Authorization status is already denied before request";
constexpr char kNotGrantedMessage[] = "Authorization not granted";
constexpr char kAddMessage[] = "Add notification";
constexpr char kBelow1014BadgeText[] = "Version is below 10.14";
constexpr char kSettingsUnavailableMessage[] =
    "Notification settings are only available on MacOS 10.14+";

// The largest list of group ids room is made for up front; longer lists
// grow as they are read (a sparse array may claim billions of elements).
constexpr uint32_t kMaxGroupIdReservation = 1024;

// A new promise and the executor that settles it from the queue; the
// executor keeps the event loop alive until it has run.
template <typename Executor>
struct Settlement {
  napi_value promise;
  Executor settle;
};

template <typename Executor>
Settlement<Executor> promiseSettledBy(napi_env env, const char* name,
                                      typename Executor::Handler handler) {
  napi_value promise = nullptr;
  napi_deferred deferred = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_promise(env, &deferred, &promise));
  return {promise, Executor(name, env, deferred, handler, KeepsLoopAlive::Yes)};
}

bool authorizesBeforeDelivery() {
  return un::isOperatingSystemAtLeastVersion(kAuthorizeBeforeDeliveryMinimum);
}

}  // namespace

// deliverNotification

namespace {

using DeliveryExecutor =
    ExecutorInCurrentLoop<napi_deferred, bool, std::optional<un::PlatformError>, std::string>;

constexpr napi_valuetype kText[] = {napi_string};
constexpr napi_valuetype kOptionalText[] = {napi_string, napi_null, napi_undefined};
constexpr napi_valuetype kFlag[] = {napi_boolean};
constexpr size_t kDeliveryArgumentCount = 7;
// title, subtitle, body, silent, groupId, notificationId, withReply
constexpr std::array<std::span<const napi_valuetype>, kDeliveryArgumentCount> kDeliveryTypes = {
    kText, kOptionalText, kOptionalText, kFlag, kOptionalText, kOptionalText, kFlag};

// Settles a delivery's promise: null, or the step's message and the platform
// error's text.
void settleDelivery(napi_env env, napi_async_context, const napi_deferred& deferred, bool& success,
                    std::optional<un::PlatformError>& error, std::string& message) {
  if (success) {
    KESTRO_NAPI_CALL(env, napi_resolve_deferred(env, deferred, napi::GetNull(env)));
    return;
  }
  const std::string errorText = error ? error->domainCodeDescription() : std::string();
  napi::rejectWithMessage(env, deferred, message + " - " + errorText, __FILE__, __LINE__);
}

un::NotificationRequest readDeliveryRequest(
    napi_env env, const napi::CallbackArguments<kDeliveryArgumentCount>& args) {
  const auto& v = args.values;
  for (size_t i = 0; i < kDeliveryArgumentCount; ++i) {
    napi::napi_type_check(env, v[i], kDeliveryTypes[i].data(), kDeliveryTypes[i].size(),
                          ZANDREL_HERE());
  }
  un::NotificationRequest request;
  un::NotificationContent& content = request.content;
  content.title = napi::GetCXXString(env, v[0], ZANDREL_HERE());
  content.subtitle = napi::GetCXXStringOrEmptyStringIfNull(env, v[1], ZANDREL_HERE());
  content.body = napi::GetCXXStringOrEmptyStringIfNull(env, v[2], ZANDREL_HERE());
  const bool silent = napi::GetBool(env, v[3]);
  request.identifier = napi::GetCXXStringOrEmptyStringIfNull(env, v[4], ZANDREL_HERE());
  // null and undefined pass the type check, so they are read as "" like the
  // other optional texts.
  content.userInfo[kNotificationIdKey] =
      napi::GetCXXStringOrEmptyStringIfNull(env, v[5], ZANDREL_HERE());
  const bool withReply = napi::GetBool(env, v[6]);
  content.sound = silent ? un::NotificationSound::kNone : un::NotificationSound::kDefault;
  if (withReply) {
    content.categoryIdentifier = kGeneralCategory;
  }
  return request;
}

// One delivery on its way: settles the promise and, when nothing is
// delivered, tells the record of what can be answered (AnswerKeepAlive.h).
struct DeliveryAttempt {
  DeliveryExecutor settle;
  AnswerableNotifications::Delivery counted;

  void refused(std::optional<un::PlatformError> error, const char* message) const {
    answerableNotifications().notDelivered(counted);
    settle(false, std::move(error), message);
  }
};

void addRequest(un::NotificationRequest request, const DeliveryAttempt& attempt) {
  un::currentNotificationCenter()->addNotificationRequest(
      std::move(request), [attempt](std::optional<un::PlatformError> error) {
        if (error) {
          attempt.refused(std::move(error), kAddMessage);
        } else {
          attempt.settle(true, std::nullopt, kAddMessage);
        }
      });
}

// From 10.15 on: the settings first (a denied application is not asked
// again), then the authorisation request, then the add.
void authorizeThenAdd(un::NotificationRequest request, const DeliveryAttempt& attempt) {
  un::currentNotificationCenter()->getNotificationSettings(
      [request = std::move(request), attempt](un::NotificationSettings settings) mutable {
        if (settings.authorizationStatus == un::AuthorizationStatus::kDenied) {
          attempt.refused(std::nullopt, kDeniedMessage);
          return;
        }
        un::currentNotificationCenter()->requestAuthorization(
            kDeliveryAuthorization, [request = std::move(request), attempt](
                                        bool granted, std::optional<un::PlatformError> error) {
              if (granted) {
                addRequest(request, attempt);
              } else {
                attempt.refused(std::move(error), kNotGrantedMessage);
              }
            });
      });
}

}  // namespace

napi_value deliverNotification(napi_env env, napi_callback_info info) {
  SyncTracing trace("deliverNotification");
  auto args = napi::GetExactCallbackArguments<kDeliveryArgumentCount>(env, info, ZANDREL_HERE());
  un::NotificationRequest request = readDeliveryRequest(env, args);
  const auto [promise, settle] = promiseSettledBy<DeliveryExecutor>(
      env, "UNUserNotification_DeliverNotification_cb", &settleDelivery);
  if (!sharedDelegateHearingRemovals()) {  // below 10.14
    settle(false, std::nullopt, kNotSupportedMessage);
    return promise;
  }
  const DeliveryAttempt attempt{settle,
                                answerableNotifications().delivering(env, request.identifier)};
  try {
    if (authorizesBeforeDelivery()) {
      authorizeThenAdd(std::move(request), attempt);
    } else {
      addRequest(std::move(request), attempt);
    }
  } catch (...) {
    answerableNotifications().notDelivered(attempt.counted);  // nothing started
    throw;
  }
  return promise;
}

// Removal

napi_value removeNotificationsWithGroupIDs(napi_env env, napi_callback_info info) {
  SyncTracing trace("removeNotificationsWithGroupIDs");
  auto args = napi::GetExactCallbackArguments<1>(env, info, ZANDREL_HERE());
  napi_value list = args.values[0];
  bool isArray = false;
  KESTRO_NAPI_CALL(env, napi_is_array(env, list, &isArray));
  if (!isArray) {
    throw js::Error("Group IDs must be an array.", ZANDREL_HERE());
  }
  uint32_t length = 0;
  KESTRO_NAPI_CALL(env, napi_get_array_length(env, list, &length));
  if (!KestroNotificationCenterDelegate::isSupported()) {
    return napi::GetUndefined(env);
  }
  std::vector<std::string> identifiers;
  identifiers.reserve(std::min(length, kMaxGroupIdReservation));
  for (uint32_t index = 0; index < length; ++index) {
    napi_value element = nullptr;
    // Checked: a getter that throws leaves its exception pending.
    KESTRO_NAPI_CALL(env, napi_get_element(env, list, index, &element));
    napi::napi_type_check(env, element, {napi_string}, ZANDREL_HERE());
    identifiers.push_back(napi::GetCXXString(env, element, ZANDREL_HERE()));
  }
  un::currentNotificationCenter()->removeDeliveredNotifications(identifiers);
  return napi::GetUndefined(env);
}

napi_value removeAllNotifications(napi_env env, napi_callback_info info) {
  SyncTracing trace("removeAllNotifications");
  if (!KestroNotificationCenterDelegate::isSupported()) {
    return napi::GetUndefined(env);
  }
  napi::GetExactCallbackArguments<0>(env, info, ZANDREL_HERE());
  un::currentNotificationCenter()->removeAllDeliveredNotifications();
  return napi::GetUndefined(env);
}

// requestBadgePermission

namespace {

using BadgePermissionExecutor = ExecutorInCurrentLoop<napi_deferred, bool, std::string>;

void settleBadgePermission(napi_env env, napi_async_context, const napi_deferred& deferred,
                           bool& granted, std::string& errorText) {
  napi_value grantedValue = napi::CreateBool(env, granted);
  napi_value errorValue = napi::CreateString(env, errorText);
  napi_value result = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_object(env, &result));
  napi::SetNamedPropertyValue(env, result, "permissionGranted", grantedValue);
  napi::SetNamedPropertyValue(env, result, "error", errorValue);
  KESTRO_NAPI_CALL(env, napi_resolve_deferred(env, deferred, result));
}

}  // namespace

napi_value requestBadgePermission(napi_env env, napi_callback_info info) {
  SyncTracing trace("requestBadgePermission");
  napi::GetExactCallbackArguments<0>(env, info, ZANDREL_HERE());
  const auto [promise, settle] = promiseSettledBy<BadgePermissionExecutor>(
      env, "UNUserNotification_RequestBadgePermission_cb", &settleBadgePermission);
  if (KestroNotificationCenterDelegate::isSupported()) {
    un::currentNotificationCenter()->requestAuthorization(
        un::kAuthorizationOptionBadge,
        [settle](bool granted, std::optional<un::PlatformError> error) {
          settle(granted, error ? error->objectDescription() : std::string());
        });
  } else {
    settle(true, kBelow1014BadgeText);
  }
  return promise;
}

// getNotificationSettings

namespace {

// Ordered by name: the order in which the result's properties are made.
using SettingsRecord = std::map<std::string, int32_t>;
using SettingsExecutor = ExecutorInCurrentLoop<napi_deferred, SettingsRecord, std::string>;

SettingsRecord settingsRecord(const un::NotificationSettings& settings) {
  SettingsRecord record;
  record["authorizationStatus"] = static_cast<int32_t>(settings.authorizationStatus);
  record["notificationCenterSetting"] = static_cast<int32_t>(settings.notificationCenterSetting);
  record["lockScreenSetting"] = static_cast<int32_t>(settings.lockScreenSetting);
  record["alertSetting"] = static_cast<int32_t>(settings.alertSetting);
  record["badgeSetting"] = static_cast<int32_t>(settings.badgeSetting);
  record["soundSetting"] = static_cast<int32_t>(settings.soundSetting);
  record["criticalAlertSetting"] = static_cast<int32_t>(settings.criticalAlertSetting);
  record["alertStyle"] = static_cast<int32_t>(settings.alertStyle);
  record["showPreviewsSetting"] = static_cast<int32_t>(settings.showPreviewsSetting);
  return record;
}

void settleSettings(napi_env env, napi_async_context, const napi_deferred& deferred,
                    SettingsRecord& record, std::string& message) {
  if (!message.empty()) {
    napi::rejectWithMessage(env, deferred, message, __FILE__, __LINE__);
    return;
  }
  napi_value result = nullptr;
  KESTRO_NAPI_CALL(env, napi_create_object(env, &result));
  for (const auto& [name, value] : record) {
    napi::SetNamedPropertyValue(env, result, name, napi::CreateInt32(env, value));
  }
  KESTRO_NAPI_CALL(env, napi_resolve_deferred(env, deferred, result));
}

}  // namespace

napi_value getNotificationSettings(napi_env env, napi_callback_info info) {
  SyncTracing trace("getNotificationSettings");
  napi::GetExactCallbackArguments<0>(env, info, ZANDREL_HERE());
  const auto [promise, settle] = promiseSettledBy<SettingsExecutor>(
      env, "UNUserNotification_GetNotificationSettings_cb", &settleSettings);
  if (KestroNotificationCenterDelegate::isSupported()) {
    un::currentNotificationCenter()->getNotificationSettings(
        [settle](un::NotificationSettings settings) { settle(settingsRecord(settings), {}); });
  } else {
    settle({}, kSettingsUnavailableMessage);
  }
  return promise;
}

}  // namespace quorvane::kestro::notifications
