// Worker threads that load notifyaddon, deliver, and are terminated while
// completions and responses are still on their way from the centre's threads:
// no crash, every item runs in the environment that made it, and the process's
// memory stays flat over repeated rounds.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const { Worker } = require('node:worker_threads');
const {
  modulePaths, sanitized, collect, runChild, temporaryDirectory, filesText,
} = require('./support');

const WORKERS = 50;
const ROUNDS = Number(process.env.KESTRO_WORKER_ROUNDS || (sanitized ? 2 : 4));
// Rounds before the first measurement: the allocator and the code caches grow
// to their working size first.
const WARM_UP_ROUNDS = 2;
// Growth of the resident set allowed from the first measured round to the last.
const FLAT_LIMIT_MB = 16;
// Every COMPLETING-th worker waits for its work instead of being terminated.
const COMPLETING = 5;
const DELIVERIES = 100;
const RESPONSES = 100;

// The worker: its handler is bound to a receiver naming its thread; every event
// and every settled delivery checks that it runs on that thread. It reports
// "busy" with its work in flight, then, if it completes, its counts.
const workerScript = `
  const { parentPort, threadId, workerData } = require('node:worker_threads');
  const sim = require(workerData.notifysim);
  const addon = require(workerData.notifyaddon);
  const receiver = { threadId };
  const counts = { events: 0, settled: 0, foreign: 0 };
  addon.initNotificationCenterDelegate.call(receiver, 'Reply', function () {
    counts.events += 1;
    if (this !== receiver || this.threadId !== require('node:worker_threads').threadId) {
      counts.foreign += 1;
    }
  });
  const group = 'w' + threadId;
  const deliver = (i) => addon.deliverNotification('T', null, null, true, group, group + ':' + i, true)
    .then((value) => { counts.settled += value === null ? 1 : 0; });
  deliver('first').then(() => {
    const work = [];
    for (let i = 0; i < ${DELIVERIES}; ++i) work.push(deliver(i));
    const responses = Array.from({ length: ${RESPONSES} },
      (_, i) => ({ identifier: group, response: { action: 'REPLY', text: String(i) } }));
    work.push(sim.respondMany([responses.slice(0, ${RESPONSES / 2}),
      responses.slice(${RESPONSES / 2})]));
    parentPort.postMessage('busy');
    if (workerData.complete) {
      Promise.all(work).then(() => parentPort.postMessage(counts));
    }
  });`;

// Runs one worker to its end; answers its counts, or null when it was
// terminated with its work in flight.
function runWorker(complete) {
  return new Promise((resolve, reject) => {
    const worker = new Worker(workerScript,
      { eval: true, workerData: { ...modulePaths, complete } });
    let counts = null;
    worker.on('message', (message) => {
      if (message === 'busy' && !complete) worker.terminate();
      if (message !== 'busy') {
        counts = message;
        worker.terminate();
      }
    });
    worker.on('error', reject);
    worker.on('exit', () => resolve(counts));
  });
}

// Loads `file` in a new worker and ends it; resolves with the worker's error,
// if any.
function loadInWorker(file) {
  return new Promise((resolve) => {
    const worker = new Worker(`require(${JSON.stringify(file)});`, { eval: true });
    let error = null;
    worker.on('error', (err) => { error = err; });
    worker.on('exit', () => resolve(error));
  });
}

// Runs first, before this thread has loaded any module.
test('each module loads in a worker after the worker that loaded it before has ended',
  async () => {
    for (const [name, file] of Object.entries(modulePaths)) {
      for (let i = 0; i < 2; ++i) {
        assert.strictEqual(await loadInWorker(file), null, `${name}, worker ${i}`);
      }
    }
  });

const megabytes = (bytes) => Math.round(bytes / 2 ** 20);

test(`${WORKERS} workers terminated with work in flight, round after round`, async (t) => {
  const sim = require(modulePaths.notifysim);
  sim.reset();
  sim.configure({ authorizationStatus: 2 });
  const rss = [];
  for (let round = 0; round < ROUNDS; ++round) {
    const results = await Promise.all(Array.from({ length: WORKERS },
      (_, i) => runWorker(i % COMPLETING === 0)));
    for (const counts of results.filter(Boolean)) {
      assert.strictEqual(counts.foreign, 0);
      assert.strictEqual(counts.settled, DELIVERIES + 1);
    }
    sim.reset();
    await collect();
    rss.push(megabytes(process.memoryUsage().rss));
  }
  t.diagnostic(`resident set after each round (MB): ${rss.join(' ')}`);
  // A sanitizer's allocator holds freed memory in quarantine: the resident
  // set says nothing about leaks there, so only the uninstrumented run checks.
  const growth = rss[rss.length - 1] - rss[WARM_UP_ROUNDS - 1];
  assert.ok(sanitized || growth <= FLAT_LIMIT_MB, `grew by ${growth} MB after the warm-up`);
});

// A worker whose JavaScript thread waits (Atomics.wait) while the centre
// completes its deliveries, so that all of them are queued for it, and which is
// terminated then: its items can never run, which is the normal end of a
// worker, not an error.
test(`a worker terminated with ${DELIVERIES} completions in flight logs no ERR line, only what it dropped`,
  async (t) => {
    const dir = temporaryDirectory(t, 'ending');
    const child = await runChild(`
      const { Worker } = require('node:worker_threads');
      const lc = require(${JSON.stringify(modulePaths.logcontrol)});
      const sim = require(${JSON.stringify(modulePaths.notifysim)});
      lc.initLogging(${JSON.stringify(dir)}, 'main', '1', false);
      sim.configure({ authorizationStatus: 2 });
      const worker = new Worker(\`
        const { parentPort, workerData } = require('node:worker_threads');
        require(workerData.notifysim);
        const addon = require(workerData.notifyaddon);
        for (let i = 0; i < ${DELIVERIES}; ++i) {
          addon.deliverNotification('T', null, null, true, 'g' + i, String(i), false);
        }
        parentPort.postMessage('busy');
        Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, 60000);\`,
        { eval: true, workerData: ${JSON.stringify(modulePaths)} });
      worker.once('message', async () => {
        await sim.respondMany([]);  // resolves once the centre is idle
        await worker.terminate();
        lc.flushLogs();
      });`);
    assert.strictEqual(child.status, 0, child.stderr);
    const text = filesText(dir, 'kestro-');
    assert.deepStrictEqual(text.match(/^E.*$/gm), null);
    assert.deepStrictEqual(text.match(/^I.*\] Environment 0x[0-9a-f]+ ended: .*$/gm).length, 1);
    assert.match(text, new RegExp(
      `^I.*\\] Environment 0x[0-9a-f]+ ended: dropped ${DELIVERIES} work items that could no longer run$`, 'm'));
  });
