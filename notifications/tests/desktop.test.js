// notifyaddon.node against a desktop's notification service: a dbus-daemon of
// this file's own on a socket in a temporary directory, with python3-dbusmock's
// notification-daemon template as the server, read and driven with busctl
// through dbusmock's org.freedesktop.DBus.Mock interface. notifysim.node is
// never loaded here, so the addon uses the D-Bus centre on that bus. Every
// helper runs in a process group of its own that dies with this process and is
// killed when its test or the file ends, also when a test fails.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn, execFile } = require('node:child_process');
const { promisify } = require('node:util');

const kLimitMs = 20000;  // for a helper to start or an answer to arrive
const kTestTimeout = { timeout: 60000 };
const kStillAliveMs = 500;  // a process that would end does so well within this
const kName = 'org.freedesktop.Notifications';
const kPath = '/org/freedesktop/Notifications';
const kNotifySignature = 'susssasa{sv}i';
const kFullCapabilities = 'actions body body-markup inline-reply sound';

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'kestro-desktop-'));
const address = `unix:path=${path.join(dir, 'bus')}`;
process.env.DBUS_SESSION_BUS_ADDRESS = address;  // read when the centre first connects
const addon = require(path.join(process.env.KESTRO_OUT_DIR, 'notifyaddon.node'));

// The helpers run without the sanitizer runtime that the test preloads into node.
const helperEnv = { ...process.env };
for (const name of ['LD_PRELOAD', 'ASAN_OPTIONS', 'UBSAN_OPTIONS', 'TSAN_OPTIONS']) {
  delete helperEnv[name];
}
const running = new Set();

function startHelper(argv, log, env = helperEnv) {
  const out = fs.openSync(path.join(dir, log), 'a');
  const child = spawn('setpriv', ['--pdeathsig', 'KILL', '--', ...argv],
    { env, detached: true, stdio: ['ignore', out, out] });
  fs.closeSync(out);
  child.exited = new Promise((resolve) => child.once('exit', resolve));
  running.add(child);
  return child;
}

async function stopHelper(child) {
  running.delete(child);
  if (child.exitCode === null && child.signalCode === null) {
    try { process.kill(-child.pid, 'SIGKILL'); } catch { /* already gone */ }
  }
  await child.exited;
}

async function pollUntil(condition, what, log) {
  const deadline = Date.now() + kLimitMs;
  while (!(await condition().catch(() => false))) {
    if (Date.now() > deadline) {
      const output = log ? fs.readFileSync(path.join(dir, log), 'utf8') : '';
      assert.fail(`${what} within ${kLimitMs} ms ${output}`);
    }
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}

// One method call on the test's bus; the reply's values (busctl's JSON form).
async function call(destination, object, iface, method, ...args) {
  const { stdout } = await promisify(execFile)('busctl',
    [`--address=${address}`, '--json=short', '--', 'call', destination, object, iface, method,
      ...args.map(String)], { env: helperEnv, timeout: kLimitMs });
  return stdout.trim() ? JSON.parse(stdout).data : [];
}
const mock = (method, ...args) => call(kName, kPath, 'org.freedesktop.DBus.Mock', method, ...args);
const daemon = (method, ...args) =>
  call('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus', method, ...args);
const serverPresent = async () => (await daemon('NameHasOwner', 's', kName))[0];

// The arguments of every logged call of `method`, variants unwrapped.
async function calls(method) {
  const [log] = await mock('GetMethodCalls', 's', method);
  return log.map(([, args]) => args.map(({ type, data }) => (type === 'a{sv}'
    ? Object.fromEntries(Object.entries(data).map(([key, value]) => [key, value.data]))
    : data)));
}
async function waitForCalls(method, count) {
  let seen = [];
  await pollUntil(async () => (seen = await calls(method)).length >= count,
    `${count} ${method} calls`);
  return seen;
}

// A stand-in server for one test, gone from the bus again when the test ends.
async function startServer(t) {
  const parameters = JSON.stringify({ capabilities: kFullCapabilities });
  const server = startHelper(['/usr/bin/python3', '-m', 'dbusmock', '--session', '--template',
    'notification_daemon', '--parameters', parameters], 'server.log');
  t.after(async () => {
    await stopHelper(server);
    await pollUntil(async () => !(await serverPresent()), 'the server leaves the bus');
  });
  await pollUntil(serverPresent, 'the server owns its name', 'server.log');
}

before(async () => {
  fs.writeFileSync(path.join(dir, 'bus.conf'), `<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>${address}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>
  </policy>
</busconfig>
`);
  startHelper(['dbus-daemon', `--config-file=${path.join(dir, 'bus.conf')}`, '--nofork',
    '--nopidfile'], 'bus.log');
  await pollUntil(async () => (await daemon('GetId')).length === 1, 'the bus answers', 'bus.log');
});

after(async () => {
  await Promise.all([...running].map(stopHelper));
  fs.rmSync(dir, { recursive: true, force: true });
});

function deliver(title, subtitle, body, silent, groupId, notificationId, withReply) {
  return addon.deliverNotification(title, subtitle, body, silent, groupId, notificationId,
    withReply);
}

const settingsOf = (status, enabled, alertStyle, sound, previews) => ({
  alertSetting: enabled, alertStyle, authorizationStatus: status, badgeSetting: enabled,
  criticalAlertSetting: 0, lockScreenSetting: enabled, notificationCenterSetting: enabled,
  showPreviewsSetting: previews, soundSetting: sound,
});

test('with no server on the bus the application is denied', kTestTimeout, async () => {
  assert.deepStrictEqual(await addon.getNotificationSettings(), settingsOf(1, 1, 0, 1, 0));
  assert.deepStrictEqual(await addon.requestBadgePermission(),
    { permissionGranted: false, error: '' });
  await assert.rejects(deliver('Ada', null, null, false, 'g', '1', false), {
    message: 'Authorization status is already denied before request - ', code: 'Error' });
});

test('a delivery arrives with the mapped fields; removal closes it', kTestTimeout, async (t) => {
  await startServer(t);
  assert.deepStrictEqual(await addon.getNotificationSettings(), settingsOf(2, 2, 2, 2, 0));
  addon.initNotificationCenterDelegate('Answer back', () => {});
  assert.strictEqual(await deliver('Ada', 'Chat', 'Lunch <3?', false, 'chat-1', '42', true), null);
  assert.strictEqual(await deliver('Bob', null, 'Hi & bye', true, 'chat-2', '43', false), null);
  assert.strictEqual(await deliver('Cy', 'Call', undefined, true, 'chat-3', '44', true), null);
  const fields = (summary, body, actions, hints) => ['Kestro', 0, '', summary, body,
    ['default', 'Open', ...actions], hints, -1];
  assert.deepStrictEqual(await calls('Notify'), [
    fields('Ada', 'Chat\nLunch &lt;3?', ['inline-reply', 'Answer back'],
      { 'sound-name': 'message-new-instant' }),
    fields('Bob', 'Hi &amp; bye', [], { 'suppress-sound': true }),
    fields('Cy', 'Call', ['inline-reply', 'Answer back'], { 'suppress-sound': true }),
  ]);

  assert.strictEqual(addon.removeNotificationsWithGroupIDs(['chat-2', 'unknown']), undefined);
  assert.deepStrictEqual(await waitForCalls('CloseNotification', 1), [[2]]);
  assert.strictEqual(addon.removeAllNotifications(), undefined);
  const closed = (await waitForCalls('CloseNotification', 3)).map(([id]) => id);
  assert.deepStrictEqual(closed.slice(1).sort(), [1, 3]);
});

test('the server\'s signals reach the handler as events', kTestTimeout, async (t) => {
  await startServer(t);
  const events = [];
  const receiver = {
    init: addon.initNotificationCenterDelegate,
    handler(...args) { events.push([this, ...args]); },
  };
  receiver.init('Reply', receiver.handler);
  await deliver('Ada', null, 'Lunch?', false, 'chat-1', '42', true);  // server id 1
  await deliver('Bob', null, 'Call?', false, 'chat-2', '43', false);  // server id 2
  await mock('EmitSignal', 'sssav', '', 'NotificationReplied', 'us', 2, 'u', 1, 's', 'yes');
  await mock('EmitSignal', 'sssav', '', 'ActionInvoked', 'us', 2, 'u', 1, 's', 'default');
  await mock('EmitSignal', 'sssav', '', 'ActionInvoked', 'us', 2, 'u', 99, 's', 'default');
  await mock('EmitSignal', 'sssav', '', 'ActionInvoked', 'us', 2, 'u', 2, 's', 'not-offered');
  await mock('EmitSignal', 'sssav', '', 'ActionInvoked', 'us', 2, 'u', 2, 's', 'default');
  await pollUntil(async () => events.length >= 3, 'three events');
  assert.deepStrictEqual(events, [
    [receiver, 'reply', '42', { reply: 'yes' }],
    [receiver, 'activated', '42', null],
    [receiver, 'activated', '43', null],
  ]);
});

test('an error of the server\'s Notify rejects the delivery with it', kTestTimeout, async (t) => {
  await startServer(t);
  await mock('AddMethod', 'sssss', '', 'Notify', kNotifySignature, 'u',
    "raise dbus.exceptions.DBusException('disk full', name='org.example.Error.Full')");
  await assert.rejects(deliver('Ada', null, null, false, 'g', '1', false), {
    message: 'Add notification - org.example.Error.Full (5) - disk full', code: 'Error',
    fileName: 'notifications/src/UNUserNotificationHelper.cpp' });
});

// A node process of its own on the test's bus (with this one's environment,
// sanitizer runtime included) that sets a handler printing each event,
// delivers one notification (server id 1) and prints "on show".
function startDeliveringProcess(log) {
  const addonPath = JSON.stringify(path.join(process.env.KESTRO_OUT_DIR, 'notifyaddon.node'));
  return startHelper([process.execPath, '-e', `
    const addon = require(${addonPath});
    addon.initNotificationCenterDelegate('Reply', (...event) => console.log(JSON.stringify(event)));
    addon.deliverNotification('Ada', null, 'Lunch?', false, 'chat-1', '42', true)
      .then(() => console.log('on show'));`], log, process.env);
}

test('a process waits while its notification is on show and ends once the server closed it',
  kTestTimeout, async (t) => {
    const closed = ['NotificationClosed', 'uu', 2, 'u', 1, 'u'];
    const cases = [
      // [name, signals the server sends, events the handler prints]
      ['expired', [[...closed, 1]], []],
      ['clicked, then taken away', [['ActionInvoked', 'us', 2, 'u', 1, 's', 'default'],
        [...closed, 2]], [['activated', '42', null]]],
    ];
    for (const [name, signals, events] of cases) {
      await t.test(name, async (st) => {
        await startServer(st);
        const log = `process-${events.length}.log`;
        const child = startDeliveringProcess(log);
        const output = () => fs.readFileSync(path.join(dir, log), 'utf8');
        await pollUntil(async () => output().includes('on show'), 'the delivery', log);
        await new Promise((resolve) => setTimeout(resolve, kStillAliveMs));
        assert.strictEqual(child.exitCode, null, `ended while on show: ${output()}`);
        for (const signal of signals) {
          await mock('EmitSignal', 'sssav', '', ...signal);
        }
        await pollUntil(async () => child.exitCode !== null, 'the process ends', log);
        assert.strictEqual(child.exitCode, 0, output());
        const printed = output().split('\n').filter((line) => line.startsWith('['));
        assert.deepStrictEqual(printed.map((line) => JSON.parse(line)), events);
      });
    }
  });
