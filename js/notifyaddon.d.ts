// notifyaddon.node: the operating system's notification centre.
//
// Argument errors are thrown synchronously: `Error` "Wrong number of
// arguments" for a count other than the declared one, `TypeError`
// 'Received: "<type>" but expected: "<types>"' for a value of the wrong type.
// Promises settle on the JavaScript thread; rejections are
// {@link NativeRejection}s.
import type { NativeRejection } from './rejection';

export type { NativeRejection };

/** A text that may be left empty: null and undefined stand for "". */
export type OptionalText = string | null | undefined;

/** What {@link initNotificationCenterDelegate} answers. */
export type DelegateResult =
  | 'Notification categories were set successfully'
  | 'Failed to initialize notification center delegate'
  | 'Notification categories and user actions are not supported';

/**
 * The user's response to a notification: a reply typed into its reply field,
 * or any other response (the notification clicked, or its "Answer" button),
 * with the notification id given to {@link deliverNotification} ("" for a
 * notification that did not come from it).
 */
export type NotificationEvent =
  | [event: 'reply', notificationId: string, data: { reply: string }]
  | [event: 'activated', notificationId: string, data: null];

/**
 * Called on the JavaScript thread for every response, with `this` bound to
 * the `this` of the {@link initNotificationCenterDelegate} call. What it
 * returns is not used; what it throws is an uncaught exception.
 */
export type NotificationEventHandler<This = unknown> = (this: This, ...event: NotificationEvent) => void;

/** The result of {@link requestBadgePermission}; a refusal is not an error. */
export interface BadgePermission {
  permissionGranted: boolean;
  /** The platform's description of its error, or "". */
  error: string;
}

/**
 * The user's notification settings, each the platform's raw value. Settings:
 * 0 not supported, 1 disabled, 2 enabled. `authorizationStatus`: 0 not
 * determined, 1 denied, 2 authorised, 3 provisional. `alertStyle`: 0 none,
 * 1 banner, 2 alert. `showPreviewsSetting`: 0 always, 1 when authenticated,
 * 2 never. Properties are enumerated in the order of their names.
 */
export interface NotificationSettings {
  alertSetting: number;
  alertStyle: number;
  authorizationStatus: number;
  badgeSetting: number;
  criticalAlertSetting: number;
  lockScreenSetting: number;
  notificationCenterSetting: number;
  showPreviewsSetting: number;
  soundSetting: number;
}

/**
 * Installs the notification categories, the reply action titled `replyTitle`,
 * and `handler` as the receiver of the user's responses, replacing the
 * handler, its `this` and the title of an earlier call. While the handler is
 * set here and a notification delivered from this thread is still on show
 * (it can still be answered), the thread's event loop stays alive.
 */
export function initNotificationCenterDelegate<This>(
  this: This, replyTitle: string, handler: NotificationEventHandler<This>): DelegateResult;

/** Whether the system has the notification centre (macOS 10.14 or later). Arguments are ignored. */
export function isSupported(...ignored: unknown[]): boolean;

/**
 * Shows a notification now. `groupId` identifies it for removal; a new one
 * with the same `groupId` replaces it. `notificationId` comes back with the
 * user's responses; `withReply` offers a reply field. Resolves with null once
 * the platform accepted it; rejects with the failed step and the platform's
 * error, e.g. "Authorization status is already denied before request - ".
 */
export function deliverNotification(
  title: string, subtitle: OptionalText, body: OptionalText, silent: boolean,
  groupId: OptionalText, notificationId: OptionalText, withReply: boolean): Promise<null>;

/**
 * Withdraws the delivered notifications of these group ids (unknown ones are
 * ignored). Not an array: `Error` "Group IDs must be an array.".
 */
export function removeNotificationsWithGroupIDs(groupIds: readonly string[]): undefined;

/** Withdraws every notification the application delivered. */
export function removeAllNotifications(): undefined;

/** Asks for permission to badge the application icon. Never rejects. */
export function requestBadgePermission(): Promise<BadgePermission>;

/**
 * Reads the notification settings; rejects with
 * "Notification settings are only available on MacOS 10.14+" below 10.14.
 */
export function getNotificationSettings(): Promise<NotificationSettings>;
