// The scheduler: native threads hand work to the JavaScript thread.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('node:child_process');
const { Worker } = require('node:worker_threads');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const modulePath = path.join(process.env.KESTRO_TEST_MODULE_DIR, 'zandrel_test.node');
const m = require(modulePath);

// Starts `threads` native producers of `perThread` items each; resolves with
// the calls once all items ran.
function produce(threads, perThread, { join, pauseMicros = 0 }) {
  return new Promise((resolve) => {
    const calls = [];
    m.startProducers(threads, perThread, (producer, sequence, onOwnThread) => {
      calls.push({ producer, sequence, onOwnThread });
      if (calls.length === threads * perThread) resolve(calls);
    }, join, pauseMicros);
  });
}

function assertEachRanOnceInOrder(calls, threads, perThread) {
  assert.strictEqual(calls.length, threads * perThread);
  const next = new Array(threads).fill(0);
  for (const { producer, sequence, onOwnThread } of calls) {
    assert.strictEqual(sequence, next[producer]++, `producer ${producer}`);
    assert.strictEqual(onOwnThread, true);
  }
  assert.deepStrictEqual(next, new Array(threads).fill(perThread));
}

function runScript(script) {
  return spawnSync(process.execPath, ['-e', script], { encoding: 'utf8', timeout: 60000 });
}

test('items from 8 threads all run once, in claimed order, many per drain', async () => {
  const drainsBefore = m.drainCount();
  const calls = await produce(8, 1000, { join: true });
  assertEachRanOnceInOrder(calls, 8, 1000);
  assert.ok(m.drainCount() - drainsBefore <= 2, `${m.drainCount() - drainsBefore} drains`);
});

test('items scheduled while the JavaScript thread drains run once, in order', async () => {
  assertEachRanOnceInOrder(await produce(4, 2000, { join: false }), 4, 2000);
});

test('an item scheduling another sees it run in the same drain; a failing item is skipped', async () => {
  await new Promise((resolve) => setImmediate(resolve));  // outside any drain
  const drainsBefore = m.drainCount();
  const steps = await new Promise((resolve) => {
    const seen = [];
    m.scheduleChain(5, (step) => {
      seen.push(step);
      if (step === 1) resolve(seen);
    });
  });
  assert.deepStrictEqual(steps, [5, 4, 3, 2, 1]);
  assert.strictEqual(m.drainCount() - drainsBefore, 1);
});

test('an environment never set up has no handle; a second set-up keeps the first', () => {
  assert.throws(() => m.asyncForUnknownEnv(), {
    constructor: Error,
    message: "Can't run callbacks, this env is not setup",
  });
  assert.strictEqual(m.setUpAgain(), true);
});

const workerScript = `
  const { parentPort, workerData } = require('node:worker_threads');
  const m = require(workerData.modulePath);
  let count = 0;
  m.startProducers(2, workerData.perThread, (producer, sequence, onOwnThread) => {
    if (!onOwnThread) throw new Error('ran on another thread');
    if (++count === 1 && workerData.exitEarly) process.exit(0);
    if (count === 2 * workerData.perThread) parentPort.postMessage(count);
  }, false, workerData.pauseMicros);`;

test('the main thread and a worker each run only their own items', async () => {
  const worker = new Worker(workerScript, {
    eval: true, workerData: { modulePath, perThread: 500, pauseMicros: 0 },
  });
  const [mainCalls, workerCount] = await Promise.all([
    produce(2, 500, { join: false }),
    new Promise((resolve, reject) => worker.on('message', resolve).on('error', reject)),
  ]);
  assertEachRanOnceInOrder(mainCalls, 2, 500);
  assert.strictEqual(workerCount, 1000);
  await worker.terminate();
});

test('a worker that ends while threads still schedule to it drops their items safely', async () => {
  const worker = new Worker(workerScript, {
    eval: true, workerData: { modulePath, perThread: 300, pauseMicros: 500, exitEarly: true },
  });
  await new Promise((resolve) => worker.on('exit', resolve));
  const dropped = m.waitForProducers();
  assert.ok(dropped > 0, `${dropped} items dropped`);
  // The main environment still works.
  assertEachRanOnceInOrder(await produce(2, 10, { join: true }), 2, 10);
});

// Producers that never stop would keep a drain running for ever if it did not
// stop once its worker can no longer run JavaScript: terminate() would hang.
test('a worker flooded by threads that never stop still terminates', async () => {
  const worker = new Worker(`
    const { parentPort, workerData } = require('node:worker_threads');
    const m = require(workerData.modulePath);
    let first = true;
    m.startProducers(2, 0, () => {
      if (first) parentPort.postMessage('running');
      first = false;
    }, false, 0);`, { eval: true, workerData: { modulePath } });
  await new Promise((resolve, reject) => worker.once('message', resolve).on('error', reject));
  await worker.terminate();
  // The producers stop once the ended environment refuses their items.
  assert.ok(m.waitForProducers() > 0);
});

test('a process that loaded the module exits by itself at once', () => {
  for (const file of [modulePath, path.join(process.env.KESTRO_OUT_DIR, 'logcontrol.node')]) {
    const child = runScript(`require(${JSON.stringify(file)})`);
    assert.strictEqual(child.status, 0, child.stderr);
  }
});

test('work scheduled from another thread keeps the loop alive until it ran; items are traced', () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zandrel-'));
  const child = runScript(`
    const lc = require(${JSON.stringify(path.join(process.env.KESTRO_OUT_DIR, 'logcontrol.node'))});
    const m = require(${JSON.stringify(modulePath)});
    m.scheduleChain(1, () => {});
    lc.initLogging(${JSON.stringify(dir)}, 'main', 'u', true);
    m.resolveLater(200).then((text) => {
      console.log(text);
      lc.flushLogs();
    });`);
  assert.strictEqual(child.status, 0, child.stderr);
  assert.strictEqual(child.stdout, 'resolved\n');
  assert.match(child.stderr,
    /Threading\.cpp:\d+\] Setting up environment 0x[0-9a-f]+ for async callbacks\n/);
  const channel = (name) => fs.readdirSync(dir).filter((f) => f.startsWith(`${name}-`))
    .map((f) => fs.readFileSync(path.join(dir, f), 'utf8')).join('');
  assert.match(channel('kestro'),
    /CallbackEnvironment\.cpp:\d+\] A work item on the JavaScript thread failed: failing work itemthrown in operator\(\) at /);
  const trace = channel('trace');
  for (const [name, phases] of [['ScheduleOnJS', 'sf'], ['resolveLater', 'BE'], ['runQueuedWork', 'BE']]) {
    for (const phase of phases) {
      assert.match(trace, new RegExp(`"name":"${name}","id":"\\d+","ph":"${phase}"`), `${name} ${phase}`);
    }
  }
  fs.rmSync(dir, { recursive: true, force: true });
});
