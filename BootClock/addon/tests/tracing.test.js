// With tracing on (logcontrol.node's initLogging), bootclock's registration
// and its function leave their slices in the trace file.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const out = process.env.KESTRO_OUT_DIR;
const logcontrol = require(path.join(out, 'logcontrol.node'));
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'bootclock-'));
logcontrol.initLogging(dir, 'main', '5', /* traceEnabled */ true);
// Loaded after tracing is on, so that its registration is traced too.
const bootclock = require(path.join(out, 'bootclock.node'));

// The trace channel's events, one JSON object per line, each followed by ",".
function traceEvents() {
  logcontrol.flushLogs();
  return fs.readdirSync(dir).filter((file) => file.startsWith('trace-main-'))
    .flatMap((file) => fs.readFileSync(path.join(dir, file), 'utf8').split('\n'))
    .filter((line) => line !== '')
    .map((line) => JSON.parse(line.replace(/,$/, '')));
}

test('the trace file holds a begin and an end of the registration and of each call', async () => {
  await assert.rejects(bootclock.getProcessStartDate(), { message: "macOS can't tell us the process start time" });
  const events = traceEvents();
  for (const name of ['InitializeBootClock', 'getProcessStartDate']) {
    const slice = events.filter((event) => event.name === name);
    assert.deepStrictEqual(slice.map((event) => event.ph), ['B', 'E'], name);
    assert.strictEqual(slice[0].id, slice[1].id);
    assert.strictEqual(slice[0].tid, slice[1].tid);
    assert.ok(slice[0].ts <= slice[1].ts);
  }
  // The rejection is made inside the function's slice.
  const order = events.map((event) => `${event.name} ${event.ph}`);
  const inside = ['getProcessStartDate B', 'rejectWithMessage B', 'rejectWithMessage E', 'getProcessStartDate E']
    .map((step) => order.indexOf(step));
  assert.deepStrictEqual([...inside].sort((a, b) => a - b), inside);
  assert.ok(!inside.includes(-1));
  logcontrol.deinitLogging();
  fs.rmSync(dir, { recursive: true, force: true });
});
