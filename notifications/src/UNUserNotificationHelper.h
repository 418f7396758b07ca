#pragma once

// The notification centre for the application's JavaScript: five exported
// functions of notifyaddon.node (registered in notifyaddon.cpp):
//
//   deliverNotification(title, subtitle, body, silent, groupId, notificationId,
//                       withReply)                      -> Promise<null>
//   removeNotificationsWithGroupIDs(groupIds)           -> undefined
//   removeAllNotifications()                            -> undefined
//   requestBadgePermission()      -> Promise<{permissionGranted, error}>
//   getNotificationSettings()     -> Promise<{alertSetting, alertStyle, ...}>
//
// Everything talks to the process's current notification centre
// (platform/UserNotifications/NotificationCenter.h), asked afresh at every
// step. The centre is used only on systems from 10.14 on; delivery asks for
// authorisation first from 10.15 on.
//
// Arguments. Each function checks its argument count first ("Wrong number of
// arguments"), then the types (TypeError 'Received: "number" but expected:
// "string"', in argument order, all before any is read); nothing is started
// before every check passed. deliverNotification takes null or undefined as
// an empty text for subtitle, body, groupId and notificationId.
//
// Promises are settled on the JavaScript thread, from the queue of the
// environment (Zandrel/NapiUtils/src/Threading.h), never inside the call that
// made them; each exactly once. Rejections carry code "Error", fileName,
// lineNumber and stack (Zandrel/NapiUtils/src/Rejection.h):
//   "UNUserNotificationCenter not supported on this version - "     below 10.14
//   "Authorization status is already denied before request - "      10.15+
//   "Authorization not granted - " + the request's error text, if any
//   "Add notification - " + domain + " (" + code + ") - " + description
//   "Notification settings are only available on MacOS 10.14+"      settings
// requestBadgePermission never rejects: a refusal resolves with
// permissionGranted false and the platform's error, if any, in `error`.
//
// The delegate (KestroNotificationCenterDelegate.h) installs the categories
// and hears the user's responses; the functions here run on the JavaScript
// thread, the completions they start on the centre's threads, which only hand
// plain values to the JavaScript thread.

#include <node_api.h>

#include "notifications/src/KestroNotificationCenterDelegate.h"

namespace quorvane::kestro::notifications {

napi_value deliverNotification(napi_env env, napi_callback_info info);
napi_value removeNotificationsWithGroupIDs(napi_env env, napi_callback_info info);
napi_value removeAllNotifications(napi_env env, napi_callback_info info);
napi_value requestBadgePermission(napi_env env, napi_callback_info info);
napi_value getNotificationSettings(napi_env env, napi_callback_info info);

}  // namespace quorvane::kestro::notifications
