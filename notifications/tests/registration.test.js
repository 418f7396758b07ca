// The module, isSupported, initNotificationCenterDelegate and the events that
// reach its handler; the control module's own argument errors; trace scopes.
'use strict';
const { test, beforeEach } = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { sim, addon, deliver, assertThrowsEach, authorized } = require('./support');

beforeEach(() => sim.reset());

// First in this file: no handler has been set in this process yet.
test('a response before any handler was set calls nothing; later ones do', async () => {
  sim.configure(authorized);
  await deliver({ groupId: 'early', notificationId: '7' });
  await sim.respond('early', { action: 'default' });
  const calls = [];
  addon.initNotificationCenterDelegate('Reply', (...args) => calls.push(args));
  assert.deepStrictEqual(calls, []);
  await sim.respond('early', { action: 'default' });
  assert.deepStrictEqual(calls, [['activated', '7', null]]);
});

test('the addon exports its seven functions in order, the control module its seven', () => {
  assert.deepStrictEqual(Object.getOwnPropertyNames(addon), [
    'initNotificationCenterDelegate', 'isSupported', 'deliverNotification',
    'removeNotificationsWithGroupIDs', 'removeAllNotifications', 'requestBadgePermission',
    'getNotificationSettings']);
  assert.deepStrictEqual(Object.getOwnPropertyNames(sim), [
    'configure', 'reset', 'delivered', 'categories', 'authorizationRequests', 'respond',
    'respondMany']);
  for (const m of [addon, sim]) {
    assert.ok(Object.values(Object.getOwnPropertyDescriptors(m))
      .every((d) => typeof d.value === 'function'));
  }
});

test('initNotificationCenterDelegate argument errors change nothing', () => {
  const init = addon.initNotificationCenterDelegate;
  assertThrowsEach([
    [() => init('Reply'), Error, 'Wrong number of arguments'],
    [() => init('Reply', () => {}, 3), Error, 'Wrong number of arguments'],
    [() => init(5, () => {}), TypeError, 'Received: "number" but expected: "string"'],
    [() => init('Reply', 'f'), TypeError, 'Received: "string" but expected: "function"'],
    [() => init(null, 5), TypeError, 'Received: "null" but expected: "string"'],
  ]);
  assert.deepStrictEqual(sim.categories(), []);
});

test('isSupported from 10.14 on; below, init says so and installs nothing', () => {
  for (const [osVersion, supported] of
    [['10.13', false], ['10.13.6', false], ['10.14', true], ['10.15', true], ['14.0', true]]) {
    sim.configure({ osVersion });
    assert.strictEqual(addon.isSupported('ignored', 1), supported, osVersion);
  }
  sim.configure({ osVersion: '10.13' });
  assert.strictEqual(addon.initNotificationCenterDelegate('Reply', () => {}),
    'Notification categories and user actions are not supported');
  assert.deepStrictEqual(sim.categories(), []);
});

test('init installs the two categories with the reply title', () => {
  const title = 'Antworten ✉';
  assert.strictEqual(addon.initNotificationCenterDelegate(title, () => {}),
    'Notification categories were set successfully');
  assert.deepStrictEqual(sim.categories(), [
    { identifier: 'INCOMING_CALL',
      actions: [{ identifier: 'ANSWER_CALL', title: 'Answer', options: 4, textInput: false }] },
    { identifier: 'GENERAL',
      actions: [{ identifier: 'REPLY', title, options: 0, textInput: true }] },
  ]);
});

test('a reply and clicks reach the handler with the this of the init call', async () => {
  sim.configure(authorized);
  const receiver = { name: 'receiver' };
  const calls = [];
  addon.initNotificationCenterDelegate.call(receiver, 'Reply', function (...args) {
    calls.push([this, ...args]);
  });
  await deliver({ groupId: 'chat', notificationId: '42', withReply: true });
  await deliver({ groupId: 'call', notificationId: '43' });
  await sim.respond('chat', { action: 'REPLY', text: 'ok' });
  await sim.respond('chat', { action: 'default' });
  await sim.respond('call', { action: 'ANSWER_CALL' });
  assert.deepStrictEqual(calls, [
    [receiver, 'reply', '42', { reply: 'ok' }],
    [receiver, 'activated', '42', null],
    [receiver, 'activated', '43', null],
  ]);
  assert.ok(calls.every(([self]) => self === receiver));
});

test('a second init takes over the handler, its this and the reply title', async () => {
  sim.configure(authorized);
  const first = [];
  const second = [];
  addon.initNotificationCenterDelegate('One', (...args) => first.push(args));
  addon.initNotificationCenterDelegate.call(second, 'Two', function (...args) {
    this.push(args);
  });
  assert.strictEqual(sim.categories()[1].actions[0].title, 'Two');
  await deliver({ groupId: 'g', notificationId: '5', withReply: true });
  await sim.respond('g', { action: 'REPLY', text: 'hi' });
  assert.deepStrictEqual(first, []);
  assert.deepStrictEqual(second, [['reply', '5', { reply: 'hi' }]]);
});

test('the control module refuses what does not fit', async () => {
  assertThrowsEach([
    [() => sim.configure(), Error, 'Wrong number of arguments'],
    [() => sim.configure({ osVerison: '10.14' }), Error, 'configure has no option named ' +
      '"osVerison"; the options are osVersion, authorizationStatus, grant, ' +
      'authorizationError, addError, settings'],
    [() => sim.configure({ authorizationStatus: 1.5 }), Error,
      'authorizationStatus must be an integer, got 1.5'],
    [() => sim.configure({ settings: { soundSetting: 9 } }), Error,
      'settings.soundSetting is 9: expected 0 (not supported), 1 (disabled) or 2 (enabled)'],
    [() => sim.respond('none', { action: 'default' }), Error,
      'no delivered notification has the identifier "none"'],
    [() => sim.respond('none', 'default'), TypeError,
      'Received: "string" but expected: "object"'],
  ]);
});

test('trace scopes name the exported functions and the callbacks', async () => {
  const lc = require(path.join(process.env.KESTRO_OUT_DIR, 'logcontrol.node'));
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'notifications-'));
  lc.initLogging(dir, 'main', '1', true);
  sim.configure(authorized);
  addon.initNotificationCenterDelegate('Reply', () => {});
  await deliver({ groupId: 't' });
  await sim.respond('t', { action: 'default' });
  await addon.requestBadgePermission();
  await addon.getNotificationSettings();
  addon.removeNotificationsWithGroupIDs(['t']);
  addon.removeAllNotifications();
  addon.isSupported();
  lc.flushLogs();
  const trace = fs.readdirSync(dir).filter((f) => f.startsWith('trace-'))
    .map((f) => fs.readFileSync(path.join(dir, f), 'utf8')).join('');
  for (const name of Object.getOwnPropertyNames(addon).concat(
    'UNUserNotification_DeliverNotification_cb', 'UNUserNotification_RequestBadgePermission_cb',
    'UNUserNotification_GetNotificationSettings_cb',
    'UNUserNotification_notificationEventExecutor_cb', 'deliverNotificationEventCallJSCallback')) {
    for (const phase of ['B', 'E']) {
      assert.match(trace, new RegExp(`"name":"${name}","id":"\\d+","ph":"${phase}"`), name);
    }
  }
  lc.deinitLogging();
});

test('a process with a handler set exits by itself once its deliveries settled and went', () => {
  const out = process.env.KESTRO_OUT_DIR;
  const child = spawnSync(process.execPath, ['-e', `
    const sim = require(${JSON.stringify(path.join(out, 'notifysim.node'))});
    const addon = require(${JSON.stringify(path.join(out, 'notifyaddon.node'))});
    addon.initNotificationCenterDelegate('Reply', () => {});
    addon.deliverNotification('T', null, null, true, 'g', '1', false).then((result) => {
      console.log(result);
      addon.removeAllNotifications();
    });`],
  { encoding: 'utf8', timeout: 60000 });
  assert.strictEqual(child.status, 0, child.stderr);
  assert.strictEqual(child.stdout, 'null\n');
});
