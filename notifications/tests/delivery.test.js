// deliverNotification, removeNotificationsWithGroupIDs, removeAllNotifications.
'use strict';
const { test, beforeEach } = require('node:test');
const assert = require('node:assert');
const { sim, addon, deliver, assertRejects, assertThrowsEach, authorized } = require('./support');

beforeEach(() => sim.reset());

const identifiers = () => sim.delivered().map((n) => n.identifier);

test('deliverNotification argument errors start nothing', () => {
  const args = ['T', 'S', 'B', false, 'g', '1', false];
  const withArg = (i, value) => () => addon.deliverNotification(
    ...args.map((a, j) => (j === i ? value : a)));
  const optional = 'but expected: "string or null or undefined"';
  assertThrowsEach([
    [() => addon.deliverNotification(...args.slice(0, 6)), Error, 'Wrong number of arguments'],
    [() => addon.deliverNotification(...args, 1), Error, 'Wrong number of arguments'],
    [withArg(0, 5), TypeError, 'Received: "number" but expected: "string"'],
    [withArg(0, null), TypeError, 'Received: "null" but expected: "string"'],
    [withArg(1, 5), TypeError, `Received: "number" ${optional}`],
    [withArg(2, {}), TypeError, `Received: "object" ${optional}`],
    [withArg(3, 'yes'), TypeError, 'Received: "string" but expected: "boolean"'],
    [withArg(4, true), TypeError, `Received: "boolean" ${optional}`],
    [withArg(5, 42), TypeError, `Received: "number" ${optional}`],
    [withArg(6, undefined), TypeError, 'Received: "undefined" but expected: "boolean"'],
    // All types are checked in argument order before anything is read.
    [() => addon.deliverNotification('T', 1, 2, 3, 4, 5, 6), TypeError,
      `Received: "number" ${optional}`],
  ]);
  assert.deepStrictEqual(sim.delivered(), []);
  assert.deepStrictEqual(sim.authorizationRequests(), []);
});

test('content: sound, reply category, and null or undefined texts as empty', async () => {
  sim.configure(authorized);
  const content = { title: 'T', subtitle: 'S', body: 'B' };
  assert.strictEqual(await deliver({ groupId: 'a', silent: true }), null);
  await deliver({ subtitle: null, body: undefined, groupId: null, notificationId: null,
    withReply: true });
  await deliver({ groupId: 'c', notificationId: undefined });
  assert.deepStrictEqual(sim.delivered(), [
    { identifier: 'a', ...content, sound: false, userInfo: { notifID: '1' },
      categoryIdentifier: null },
    { identifier: '', title: 'T', subtitle: '', body: '', sound: true, userInfo: { notifID: '' },
      categoryIdentifier: 'GENERAL' },
    { identifier: 'c', ...content, sound: true, userInfo: { notifID: '' },
      categoryIdentifier: null },
  ]);
  // A null id comes back as "" with the response.
  const calls = [];
  addon.initNotificationCenterDelegate('Reply', (...args) => calls.push(args));
  await sim.respond('', { action: 'REPLY', text: 'x' });
  assert.deepStrictEqual(calls, [['reply', '', { reply: 'x' }]]);
});

test('authorisation is asked (alert, sound, badge) from 10.15 on, not on 10.14', async () => {
  for (const [osVersion, requests] of [['10.14', []], ['10.15', [7]], ['14.0', [7]]]) {
    sim.reset();
    sim.configure({ osVersion, authorizationStatus: 3 });
    assert.strictEqual(await deliver(), null, osVersion);
    assert.deepStrictEqual(sim.authorizationRequests(), requests, osVersion);
    assert.deepStrictEqual(identifiers(), ['g'], osVersion);
  }
});

test('rejections: each step with its platform error text', async () => {
  const problem = { domain: 'UNErrorDomain', code: 3, description: 'Boom' };
  const cases = [
    [{ osVersion: '10.13' }, 'UNUserNotificationCenter not supported on this version - ', []],
    [{ authorizationStatus: 1 }, 'Authorization status is already denied before request - ', []],
    [{ grant: false }, 'Authorization not granted - ', [7]],
    [{ authorizationError: problem }, 'Authorization not granted - UNErrorDomain (3) - Boom', [7]],
    [{ ...authorized, addError: { domain: 'NSCocoaErrorDomain', code: -260, description: 'Gone' } },
      'Add notification - NSCocoaErrorDomain (-260) - Gone', [7]],
    // 10.14 adds without asking, and the centre refuses an application never allowed.
    [{ osVersion: '10.14' }, 'Add notification - UNErrorDomain (1) - ' +
      'Notifications are not allowed for this application', []],
  ];
  for (const [situation, message, requests] of cases) {
    sim.reset();
    sim.configure(situation);
    await assertRejects(deliver(), message);
    assert.deepStrictEqual(sim.authorizationRequests(), requests, message);
    assert.deepStrictEqual(sim.delivered(), [], message);
  }
});

test('removal of some and of all', async () => {
  sim.configure(authorized);
  for (const groupId of ['a', 'b', 'c', 'd']) await deliver({ groupId });
  const throwing = ['a'];
  Object.defineProperty(throwing, 1, { get() { throw new RangeError('from a getter'); } });
  const sparse = [];
  sparse.length = 2 ** 32 - 1;
  assertThrowsEach([
    [() => addon.removeNotificationsWithGroupIDs(), Error, 'Wrong number of arguments'],
    [() => addon.removeNotificationsWithGroupIDs([], []), Error, 'Wrong number of arguments'],
    [() => addon.removeNotificationsWithGroupIDs('a'), Error, 'Group IDs must be an array.'],
    [() => addon.removeNotificationsWithGroupIDs({ length: 1, 0: 'a' }), Error,
      'Group IDs must be an array.'],
    [() => addon.removeNotificationsWithGroupIDs(['a', 3]), TypeError,
      'Received: "number" but expected: "string"'],
    [() => addon.removeNotificationsWithGroupIDs(throwing), RangeError, 'from a getter'],
    [() => addon.removeNotificationsWithGroupIDs(sparse), TypeError,
      'Received: "undefined" but expected: "string"'],
    [() => addon.removeAllNotifications(1), Error, 'Wrong number of arguments'],
  ]);
  assert.deepStrictEqual(identifiers(), ['a', 'b', 'c', 'd']);
  assert.strictEqual(addon.removeNotificationsWithGroupIDs([]), undefined);
  assert.strictEqual(addon.removeNotificationsWithGroupIDs(['b', 'x', 'd']), undefined);
  assert.deepStrictEqual(identifiers(), ['a', 'c']);
  assert.strictEqual(addon.removeAllNotifications(), undefined);
  assert.deepStrictEqual(identifiers(), []);
});

test('removal below 10.14 checks the list only and removes nothing', async () => {
  sim.configure(authorized);
  await deliver({ groupId: 'a' });
  sim.configure({ osVersion: '10.13' });
  assertThrowsEach([
    [() => addon.removeNotificationsWithGroupIDs(), Error, 'Wrong number of arguments'],
    [() => addon.removeNotificationsWithGroupIDs('a'), Error, 'Group IDs must be an array.'],
  ]);
  assert.strictEqual(addon.removeNotificationsWithGroupIDs(['a', 3]), undefined);
  assert.strictEqual(addon.removeAllNotifications('ignored'), undefined);
  assert.deepStrictEqual(identifiers(), ['a']);
});
