// The whole system as the application uses it, through the built modules
// only: the demo application runs in a process of its own (on the main thread,
// then in a worker), which has to exit by itself; then what JavaScript saw and
// every file written are checked, and the trace is turned into a viewer file.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { traceFiles, readTrace, writeViewerFile } = require('../../tools/trace/to-viewer.js');

// Generous: sanitized modules are slow. A process that does not end by itself
// is stopped here and fails the test.
const kTimeLimitMs = 120000;
// Work items the application has scheduled onto the JavaScript thread at
// least: badge permission, settings, two deliveries, two events, two settled
// responses of the simulated centre.
const kScheduledItems = 8;

function play(worker) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'e2e-'));
  const child = spawnSync(process.execPath,
    [path.join(__dirname, 'scenario.js'), dir, ...(worker ? ['--worker'] : [])],
    { encoding: 'utf8', timeout: kTimeLimitMs });
  assert.strictEqual(child.signal, null, `did not exit by itself within ${kTimeLimitMs} ms`);
  assert.strictEqual(child.status, 0, child.stderr);
  return { dir, report: JSON.parse(child.stdout) };
}

function read(dir, prefix, userId) {
  const names = fs.readdirSync(dir).filter((n) => n.startsWith(prefix) && n.endsWith(`-id${userId}.log`));
  assert.strictEqual(names.length, 1, `${prefix}...-id${userId}.log`);
  return fs.readFileSync(path.join(dir, names[0]), 'utf8');
}

function count(text, pattern) {
  return (text.match(new RegExp(pattern, 'gm')) ?? []).length;
}

// Every "B" is closed by an "E" of the same name and id on its thread, in
// nesting order. An "E" without its "B" is only initLogging's: tracing came on
// inside it.
function assertSlicesNest(events) {
  const open = new Map();
  for (const e of events.filter((x) => x.ph === 'B' || x.ph === 'E')) {
    const stack = open.get(e.tid) ?? open.set(e.tid, []).get(e.tid);
    if (e.ph === 'B') {
      stack.push(e);
    } else if (stack.length === 0) {
      assert.strictEqual(e.name, 'initLogging', `an end without its begin: ${JSON.stringify(e)}`);
    } else {
      const begin = stack.pop();
      assert.deepStrictEqual([e.name, e.id], [begin.name, begin.id], `thread ${e.tid}`);
      assert.ok(begin.ts <= e.ts, e.name);
    }
  }
  for (const [tid, stack] of open) assert.deepStrictEqual(stack.map((e) => e.name), [], `thread ${tid}`);
}

// One "s" and one "f" "ScheduleOnJS" per scheduled item, the "f" on the
// JavaScript thread (the one that drains the queue).
function assertFlows(events, jsThread) {
  const flows = events.filter((e) => e.ph === 's' || e.ph === 'f');
  assert.ok(flows.every((e) => e.name === 'ScheduleOnJS'));
  const starts = flows.filter((e) => e.ph === 's').map((e) => e.id);
  const finishes = flows.filter((e) => e.ph === 'f');
  const scheduled = events.filter((e) => e.name === 'scheduleAsyncWork' && e.ph === 'B').length;
  assert.ok(scheduled >= kScheduledItems, `${scheduled} items`);
  assert.strictEqual(starts.length, scheduled);
  assert.strictEqual(new Set(starts).size, starts.length);
  assert.deepStrictEqual(finishes.map((e) => e.id).sort(), [...starts].sort());
  assert.ok(finishes.every((e) => e.tid === jsThread));
}

for (const worker of [false, true]) {
  test(`the application ${worker ? 'in a worker thread' : 'on the main thread'}`, () => {
    const { dir, report } = play(worker);
    assert.deepStrictEqual(report.delivered, [null, null]);
    assert.deepStrictEqual(report.events,
      [['reply', '42', { reply: 'Yes, see you there' }], ['activated', '43', null]]);
    assert.strictEqual(report.argumentError.type, 'TypeError');
    assert.strictEqual(report.argumentError.message, 'Received: "number" but expected: "string"');
    assert.match(report.argumentError.stack, /\nthrown in napi_type_check at Zandrel\/NapiUtils\/src\/Base\.cpp:\d+\n/);
    assert.strictEqual(report.rejection.code, 'Error');

    // Nothing is written twice: every line carries its own time stamp, thread
    // and (in the trace) id and phase.
    let traceLines = 0;
    for (const name of fs.readdirSync(dir)) {
      const fileLines = fs.readFileSync(path.join(dir, name), 'utf8').split('\n').filter((l) => l !== '');
      assert.strictEqual(new Set(fileLines).size, fileLines.length, name);
      if (name.startsWith('trace-')) traceLines += fileLines.length;
    }

    const { events, skipped } = readTrace(traceFiles(dir));
    assert.deepStrictEqual(skipped, []);
    assertSlicesNest(events);
    // The JavaScript thread: the process's first thread, or the worker's.
    const jsThread = events.find((e) => e.name === 'deliverNotification').tid;
    assert.strictEqual(jsThread === events[0].pid, !worker);
    assertFlows(events, jsThread);

    // The main file: both modules that schedule work set up the JavaScript
    // thread's environment; the argument error with its trail; each
    // JavaScript line once.
    const main = read(dir, 'kestro-demo-', '1001');
    const setUp = `^I\\d{4} [\\d:.]+[+-]\\d{4} +${jsThread} Threading\\.cpp:\\d+\\] ` +
      'Setting up environment 0x[0-9a-f]+ for async callbacks$';
    assert.strictEqual(count(main, setUp), 2);
    assert.strictEqual(count(main, /^E.* Exception\.cpp:\d+\] Received: "number" but expected: "string"thrown in napi_type_check at Zandrel\/NapiUtils\/src\/Base\.cpp:\d+$/), 1);
    assert.strictEqual(count(main, / javascript:0\] main window shown$/), 1);
    assert.strictEqual(count(read(dir, 'kestro-demo-', '1002'), / javascript:0\] signed in as 1002$/), 1);
    assert.strictEqual(count(read(dir, 'qsyn-demo-', '1001'), /\[U:D:\] synced 3 conversations$/), 1);

    const names = new Set(events.map((e) => e.name));
    for (const name of ['InitializeBootClock', 'setupEnvironmentForCallbacks', 'initNotificationCenterDelegate',
      'requestBadgePermission', 'getNotificationSettings', 'deliverNotification', 'getProcessStartDate',
      'napi_type_check', 'GetCXXString', 'GetCXXStringOrEmptyStringIfNull', 'GetBool', 'CreateString',
      'CallJSCallback', 'rejectWithMessage', 'scheduleAsyncWork', 'runQueuedWork', 'node_context',
      'UNUserNotification_DeliverNotification_cb', 'UNUserNotification_notificationEventExecutor_cb']) {
      assert.ok(names.has(name), name);
    }

    // The viewer file parses and holds every line of the trace files.
    const viewer = writeViewerFile(traceFiles(dir), path.join(dir, 'trace-viewer.json'));
    const parsed = JSON.parse(fs.readFileSync(viewer.path, 'utf8'));
    assert.deepStrictEqual(Object.keys(parsed), ['traceEvents']);
    assert.strictEqual(parsed.traceEvents.length, traceLines);
    assert.deepStrictEqual(parsed.traceEvents, events);
    fs.rmSync(dir, { recursive: true, force: true });
  });
}
