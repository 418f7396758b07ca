// notifysim.node: the simulated notification centre, for tests and the demo.
// Loading it makes the simulated centre the one notifyaddon.node uses; load
// it before the addon is first used. The centre's refusals (unknown option or
// identifier, a value out of range) are `Error`s with its message.
import type { NotificationSettings } from './notifyaddon';

/** A platform error the centre fails with. */
export interface SimulatedError {
  domain: string;
  code: number;
  description: string;
}

/** A change of the centre's situation; what is left out stays as it is. */
export interface SimulationOptions {
  /** "10.13", "10.14", "14.0", ... */
  osVersion?: string;
  authorizationStatus?: number;
  /** The user's answer when authorisation is asked. */
  grant?: boolean;
  /** An error to fail every authorisation request with, or null to stop. */
  authorizationError?: SimulatedError | null;
  /** An error to fail every add with, or null to stop. */
  addError?: SimulatedError | null;
  settings?: Partial<NotificationSettings>;
}

export interface DeliveredNotification {
  identifier: string;
  title: string;
  subtitle: string;
  body: string;
  sound: boolean;
  userInfo: Record<string, string>;
  categoryIdentifier: string | null;
}

export interface InstalledCategory {
  identifier: string;
  actions: { identifier: string; title: string; options: number; textInput: boolean }[];
}

/**
 * The user's answer: "default" clicks the notification; another action is
 * the identifier of an installed action ("ANSWER_CALL", or "REPLY" with the
 * typed `text`).
 */
export interface UserResponse {
  action: string;
  text?: string | null;
}

export function configure(options: SimulationOptions): undefined;

/** Back to version "14.0", status not determined, grant true, nothing delivered. */
export function reset(): undefined;

/** The notifications on show, oldest first. */
export function delivered(): DeliveredNotification[];

export function categories(): InstalledCategory[];

/** The options of each authorisation request, in order. */
export function authorizationRequests(): number[];

/**
 * The user answers the notification `identifier`. Resolves once every event
 * that caused has reached the addon's handler.
 */
export function respond(identifier: string, response: UserResponse): Promise<undefined>;

/** One response of a batch: the notification answered and the answer. */
export interface AddressedResponse {
  identifier: string;
  response: UserResponse;
}

/**
 * Many answers at once: batch i is answered in order on the centre's thread i
 * (modulo their count), so several threads answer at the same time. Every
 * entry is checked before any is sent. Resolves once every event they caused
 * has reached the addon's handler.
 */
export function respondMany(batches: AddressedResponse[][]): Promise<undefined>;
