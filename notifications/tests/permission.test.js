// requestBadgePermission and getNotificationSettings.
'use strict';
const { test, beforeEach } = require('node:test');
const assert = require('node:assert');
const { sim, addon, assertRejects, assertThrowsEach } = require('./support');

beforeEach(() => sim.reset());

test('both take no argument', () => {
  assertThrowsEach([
    [() => addon.requestBadgePermission(1), Error, 'Wrong number of arguments'],
    [() => addon.getNotificationSettings(undefined), Error, 'Wrong number of arguments'],
  ]);
  assert.deepStrictEqual(sim.authorizationRequests(), []);
});

test('badge permission granted, refused, with an error, and below 10.14', async () => {
  const problem = { domain: 'UNErrorDomain', code: 1, description: 'Not allowed' };
  const cases = [
    [{}, true, '', [1]],
    [{ grant: false }, false, '', [1]],
    [{ authorizationStatus: 1 }, false, '', [1]],
    [{ authorizationError: problem }, false,
      'Error Domain=UNErrorDomain Code=1 "Not allowed"', [1]],
    [{ osVersion: '10.13' }, true, 'Version is below 10.14', []],
  ];
  for (const [situation, permissionGranted, error, requests] of cases) {
    sim.reset();
    sim.configure(situation);
    const result = await addon.requestBadgePermission();
    assert.deepStrictEqual(Object.entries(result),
      [['permissionGranted', permissionGranted], ['error', error]], JSON.stringify(situation));
    assert.deepStrictEqual(sim.authorizationRequests(), requests);
  }
});

test('settings: the nine numbers, in the order of their names', async () => {
  sim.configure({ authorizationStatus: 3,
    settings: { alertStyle: 2, soundSetting: 1, showPreviewsSetting: 2, criticalAlertSetting: 2 } });
  assert.deepStrictEqual(Object.entries(await addon.getNotificationSettings()), [
    ['alertSetting', 2], ['alertStyle', 2], ['authorizationStatus', 3], ['badgeSetting', 2],
    ['criticalAlertSetting', 2], ['lockScreenSetting', 2], ['notificationCenterSetting', 2],
    ['showPreviewsSetting', 2], ['soundSetting', 1]]);
});

test('settings are only available from 10.14 on', async () => {
  sim.configure({ osVersion: '10.13' });
  await assertRejects(addon.getNotificationSettings(),
    'Notification settings are only available on MacOS 10.14+');
});
