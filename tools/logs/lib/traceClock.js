// Trace events carry the writer's monotonic clock (microseconds since an
// arbitrary start, usually the boot), not the time of day. To merge them with
// the other channels each trace file gets an offset, wall = offset + ts, from
// what is known about the file:
//   - it was opened, at the second its name gives, right after its first event
//     was logged: offset is below opened + 1 s - first ts, and above
//     opened - 1 s - first ts (an event is written within a second);
//   - its last change (mtime) came after its last event: offset is below
//     mtime - last ts.
// The mtime bound is the estimate when it is the tighter one (a file not
// copied since: its last event was written a moment before its last change);
// else the reader's own clocks (wall - monotonic now, exact if the file was
// written on this machine since its last boot) when they fall within the
// bounds; else the middle of the opening second. Only the second choice
// depends on when the file is read: two readings of a folder agree.
'use strict';

const kSecond = 1e6;

// The reader's wall clock minus its monotonic clock, in microseconds.
function hostClockOffset() {
  return Date.now() * 1000 - Number(process.hrtime.bigint() / 1000n);
}

// All times in microseconds: `openedAt` from the file name, `modifiedAt` the
// file's mtime, `firstTs` and `lastTs` the first and last events' ts.
function traceClockOffset({ openedAt, modifiedAt, firstTs, lastTs, hostOffset = hostClockOffset() }) {
  const byName = openedAt + kSecond - firstTs;
  const byChange = modifiedAt - lastTs;
  const lower = openedAt - kSecond - firstTs;
  if (byChange <= byName && byChange >= lower) return byChange;
  if (hostOffset >= lower && hostOffset <= Math.min(byName, byChange)) return hostOffset;
  return openedAt + kSecond / 2 - firstTs;
}

module.exports = { traceClockOffset };
