// Floods from the simulated centre's threads: 100,000 deliveries whose
// completions arrive on several of its threads, and 100,000 responses from
// several of them at once.
'use strict';
const { test, beforeEach, after } = require('node:test');
const assert = require('node:assert');
const { modulePaths } = require('./support');

const sim = require(modulePaths.notifysim);
const addon = require(modulePaths.notifyaddon);

const FLOOD = 100000;
// Batches of responses, each answered in order on one of the centre's threads
// (batch i on thread i modulo their count, so some threads answer two).
const RESPONSE_BATCHES = 5;
// Deliveries reuse this many identifiers, so the centre keeps few.
const IDENTIFIERS = 64;

beforeEach(() => {
  sim.reset();
  sim.configure({ authorizationStatus: 2 });
});
// Nothing left on show to be answered, which would keep the process alive.
after(() => sim.reset());

const perSecond = (count, startedAt) =>
  Math.round(count / ((performance.now() - startedAt) / 1000));

test('100,000 deliveries: every promise settles exactly once, with null', async (t) => {
  const settled = new Uint8Array(FLOOD);
  const startedAt = performance.now();
  const all = [];
  for (let i = 0; i < FLOOD; ++i) {
    all.push(addon.deliverNotification('T', null, null, true, `g${i % IDENTIFIERS}`, `${i}`, false)
      .then((result) => {
        assert.strictEqual(result, null);
        ++settled[i];
      }));
  }
  await Promise.all(all);
  t.diagnostic(`${perSecond(FLOOD, startedAt)} deliveries settled per second`);
  assert.strictEqual(settled.findIndex((n) => n !== 1), -1);
  assert.strictEqual(sim.delivered().length, IDENTIFIERS);
});

test('100,000 responses from several threads reach the handler once each, in order per thread',
  async (t) => {
    await addon.deliverNotification('T', null, null, true, 'flood', 'f', true);
    const perBatch = FLOOD / RESPONSE_BATCHES;
    const batches = Array.from({ length: RESPONSE_BATCHES }, (_, b) =>
      Array.from({ length: perBatch }, (_, i) =>
        ({ identifier: 'flood', response: { action: 'REPLY', text: `${b}:${i}` } })));
    const next = new Array(RESPONSE_BATCHES).fill(0);
    let events = 0;
    const receiver = {};
    addon.initNotificationCenterDelegate.call(receiver, 'Reply', function (event, id, data) {
      assert.strictEqual(this, receiver);
      assert.deepStrictEqual([event, id], ['reply', 'f']);
      const [b, i] = data.reply.split(':').map(Number);
      assert.strictEqual(i, next[b]++, `batch ${b}`);
      ++events;
    });
    const startedAt = performance.now();
    await sim.respondMany(batches);
    t.diagnostic(`${perSecond(FLOOD, startedAt)} responses handled per second`);
    assert.strictEqual(events, FLOOD);
    assert.deepStrictEqual(next, new Array(RESPONSE_BATCHES).fill(perBatch));
  });

test('respondMany refuses what does not fit, before sending anything', async () => {
  await addon.deliverNotification('T', null, null, true, 'g', '1', false);
  const calls = [];
  addon.initNotificationCenterDelegate('Reply', (...args) => calls.push(args));
  const batches = 'respondMany takes an array of batches, each an array of {identifier, response}';
  const ok = { identifier: 'g', response: { action: 'default' } };
  for (const [value, type, message] of [
    ['g', TypeError, batches],
    [[ok], TypeError, batches],
    [[[ok, 'g']], TypeError, 'Received: "string" but expected: "object"'],
    [[[{ identifier: 1, response: ok.response }]], TypeError,
      'Received: "number" but expected: "string"'],
    [[[ok], [{ identifier: 'none', response: ok.response }]], Error,
      'no delivered notification has the identifier "none"'],
  ]) {
    assert.throws(() => sim.respondMany(value),
      (err) => err.constructor === type && err.message === message, message);
  }
  assert.throws(() => sim.respondMany(), { message: 'Wrong number of arguments' });
  await sim.respondMany([[ok, ok], [], [ok]]);
  assert.deepStrictEqual(calls, new Array(3).fill(['activated', '1', null]));
});

test('respondMany resolves only once every event it caused has reached the handler', async () => {
  await addon.deliverNotification('T', null, null, true, 'g', '1', false);
  let events = 0;
  addon.initNotificationCenterDelegate('Reply', () => { ++events; });
  const ok = { identifier: 'g', response: { action: 'default' } };
  for (let round = 0; round < 200; ++round) {
    events = 0;
    await sim.respondMany([[ok], [ok], [ok]]);
    assert.strictEqual(events, 3, `round ${round}`);
  }
});
