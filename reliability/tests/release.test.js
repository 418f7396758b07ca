// What the addon lets go of: a replaced handler and the `this` it was bound
// to, settled deliveries and the values handed to a handler are collected.
'use strict';
const { test, after } = require('node:test');
const assert = require('node:assert');
const { modulePaths, collect } = require('./support');

const sim = require(modulePaths.notifysim);
const addon = require(modulePaths.notifyaddon);

const DELIVERIES = 1000;

sim.configure({ authorizationStatus: 2 });
// Nothing left on show to be answered, which would keep the process alive.
after(() => sim.reset());

// Sets a handler bound to a fresh `this` that records the data of each event;
// answers weak references to all three.
function setHandler(events) {
  const self = { name: 'receiver' };
  const handler = function (event, id, data) { events.push(new WeakRef(data || {})); };
  addon.initNotificationCenterDelegate.call(self, 'Reply', handler);
  return { self: new WeakRef(self), handler: new WeakRef(handler) };
}

// Delivers one at a time; answers weak references to the settled promises
// (made here, so no variable of the test holds the last one).
async function deliverAll() {
  const promises = [];
  for (let i = 0; i < DELIVERIES; ++i) {
    const promise = addon.deliverNotification('T', null, null, true, `g${i % 8}`, `${i}`, true);
    promises.push(new WeakRef(promise));
    await promise;
  }
  return promises;
}

test('a replaced handler, its this, settled deliveries and event data are collected',
  async () => {
    const events = [];
    const first = setHandler(events);
    const promises = await deliverAll();
    await sim.respond('g1', { action: 'REPLY', text: 'answer' });
    await sim.respond('g2', { action: 'default' });
    assert.strictEqual(events.length, 2);

    const second = setHandler(events);
    await collect();
    const alive = (refs) => refs.filter((ref) => ref.deref() !== undefined).length;
    assert.strictEqual(alive([first.self, first.handler]), 0, 'the replaced handler or its this');
    assert.strictEqual(alive(promises), 0, 'settled deliveries');
    assert.strictEqual(alive(events), 0, 'event data');
    assert.strictEqual(alive([second.self, second.handler]), 2, 'the current handler and its this');
  });
