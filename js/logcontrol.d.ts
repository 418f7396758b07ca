// logcontrol.node: the application's module that drives the logging core
// (liblogcore) and lets JavaScript log into its files.
//
// Argument errors are thrown synchronously: `Error` "Wrong number of
// arguments", `TypeError` for a value of the wrong type.

/**
 * A level: a name the level parser reads ("DBG", "info5", "WARN", "ERR",
 * "LogLevel(1234)", "1500") or its number (1000 debug, 2000 info, 3000 warn,
 * 4000 error, 5000 critical).
 */
export type LogLevel = string | number;

/** A category's settings as the core reports them (levels as names). */
export interface CategoryConfig {
  level: string;
  inherit: boolean;
  propagate: string;
  handlers: string[];
}

export interface HandlerConfig {
  type: string;
  options: Record<string, string>;
}

/** The complete configuration as {@link getCompleteMasterLogConfig} reports it. */
export interface LogConfig {
  categories: Record<string, CategoryConfig>;
  handlers: Record<string, HandlerConfig>;
}

/** A category entry: its settings, or its level alone. */
export type CategoryConfigInput =
  | LogLevel
  | { level: LogLevel; inherit?: boolean; propagate?: LogLevel; handlers?: string[] };

/** A configuration for {@link setCompleteMasterLogConfig}; other keys are ignored. */
export interface LogConfigInput {
  categories?: Record<string, CategoryConfigInput>;
  handlers?: Record<string, { type: string; options?: Record<string, string> }>;
}

/**
 * Starts the four log channels (main, sync engine, rtc, and with
 * `traceEnabled` the trace) in `logDirectory`, which must exist. Failures are
 * dropped silently, as the core does.
 */
export function initLogging(logDirectory: string, fileTag: string, userId: string, traceEnabled: boolean): void;

/** Moves every channel to new files named with `userId` (nothing when it is unchanged). */
export function updateLoggingWithUserId(userId: string): void;

/** Returns once everything logged before the call is written. */
export function flushLogs(): void;

/** Flushes, then closes every channel until the next {@link initLogging}. */
export function deinitLogging(): void;

export function getCompleteMasterLogConfig(): LogConfig;

/**
 * Replaces the whole configuration. A configuration the core cannot parse or
 * apply throws an `Error` with the core's message and changes nothing.
 */
export function setCompleteMasterLogConfig(config: LogConfigInput): void;

/**
 * Logs `message` on `category` at `level`, as the file "javascript", line 0.
 * Levels from FATAL up throw: they would end the process.
 */
export function log(category: string, level: LogLevel, message: string): void;
