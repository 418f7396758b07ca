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

/** Options of {@link getLogger}. */
export interface LoggerOptions {
  /**
   * Lines name the file and line of the logging method's caller instead of
   * "javascript", line 0. Costs a capture of the caller's stack frame per
   * logged line (docs/benchmarks.md).
   */
  callSite?: boolean | undefined;
}

/**
 * A logger bound to one category. Each method logs `text` at its level (dbg
 * DBG, info INFO, warn WARN, error ERR, critical CRITICAL); a `value` other
 * than undefined is appended after a blank as JSON (a cycle, a BigInt or a
 * throwing getter is written as a string in its place, never thrown). A text
 * that is not a string throws a `TypeError`. A method whose level the core
 * drops for the category returns at once.
 */
export interface Logger {
  /** The category's canonical name ("app.ui" for "app/ui"). */
  readonly category: string;
  readonly callSite: boolean;
  dbg(text: string, value?: unknown): void;
  info(text: string, value?: unknown): void;
  warn(text: string, value?: unknown): void;
  error(text: string, value?: unknown): void;
  critical(text: string, value?: unknown): void;
  /** Whether the core writes `level` for the category, as of its latest configuration. */
  isEnabled(level: LogLevel): boolean;
  /** A logger, with the same options, for the category `category + "." + suffix`. */
  child(suffix: string): Logger;
}

/** A logger for `category`, resolved once. */
export function getLogger(category: string, options?: LoggerOptions): Logger;
