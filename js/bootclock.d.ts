// bootclock.node: when the process started.
import type { NativeRejection } from './rejection';

export type { NativeRejection };

/**
 * The process start date. macOS gives a process no way to read it, so every
 * call returns a new promise that is already rejected with a
 * {@link NativeRejection} whose message is
 * "macOS can't tell us the process start time". Arguments are ignored.
 */
export function getProcessStartDate(...ignored: unknown[]): Promise<never>;
