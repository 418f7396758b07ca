#pragma once

// The addon's record of the notifications that can still be answered
// (AnswerableNotifications.h), for the whole process, whose holds keep an
// environment's event loop alive through the scheduler
// (Zandrel/NapiUtils/src/Threading.h, holdLoopOpen): a script or worker that
// set a handler and waits for the user's answer lives until the answer came or
// can no longer come, and then exits by itself.
//
// Who may call what
//   answerableNotifications(): any thread; its methods as its header says.
//   sharedDelegateHearingRemovals(): any thread. The shared delegate
//       (null below 10.14), made if need be, passing what goes off show to
//       answerableNotifications(). Deliveries are counted only once it
//       exists, so no report about them is missed.
//   forgetAnswersWhenEnded(env): the JavaScript thread, at registration;
//       when env ends, what it set and delivered holds nothing any more.
//       Throws js::Error on a host failure.

#include <node_api.h>

#include <memory>

#include "notifications/src/AnswerableNotifications.h"
#include "notifications/src/KestroNotificationCenterDelegate.h"

namespace quorvane::kestro::notifications {

AnswerableNotifications& answerableNotifications();
std::shared_ptr<KestroNotificationCenterDelegate> sharedDelegateHearingRemovals();
void forgetAnswersWhenEnded(napi_env env);

}  // namespace quorvane::kestro::notifications
