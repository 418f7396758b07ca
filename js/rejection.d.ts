// The error with which the native modules reject their promises.

/**
 * An `Error` whose message says what failed, with the code "Error" and the
 * place in the module's sources that rejected: `fileName` (a path relative to
 * the source tree) and `lineNumber`. `stack` is the message, a newline and
 * `"  at " + fileName + ":" + lineNumber`.
 */
export interface NativeRejection extends Error {
  readonly code: 'Error';
  readonly fileName: string;
  readonly lineNumber: number;
  readonly stack: string;
}
