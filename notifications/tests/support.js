// Shared by the notification tests: the control module loaded first (it makes
// the simulated centre the current one), then the addon, and helpers.
'use strict';
const assert = require('node:assert');
const path = require('node:path');
const { after } = require('node:test');

const sim = require(path.join(process.env.KESTRO_OUT_DIR, 'notifysim.node'));
const addon = require(path.join(process.env.KESTRO_OUT_DIR, 'notifyaddon.node'));

// A notification still on show with a handler set keeps the process alive (it
// can be answered): a file's tests leave nothing on show.
after(() => sim.reset());

// deliverNotification with defaults for the arguments a test does not name.
function deliver(overrides = {}) {
  const a = {
    title: 'T', subtitle: 'S', body: 'B', silent: false,
    groupId: 'g', notificationId: '1', withReply: false, ...overrides,
  };
  return addon.deliverNotification(a.title, a.subtitle, a.body, a.silent, a.groupId,
    a.notificationId, a.withReply);
}

// A rejection as the settling code makes it: code, its source file and line.
async function assertRejects(promise, message) {
  await assert.rejects(promise, (err) => {
    assert.strictEqual(err.constructor, Error);
    assert.strictEqual(err.message, message);
    assert.strictEqual(err.code, 'Error');
    assert.strictEqual(err.fileName, 'notifications/src/UNUserNotificationHelper.cpp');
    assert.ok(Number.isInteger(err.lineNumber) && err.lineNumber > 0, `${err.lineNumber}`);
    assert.strictEqual(err.stack, `${message}\n  at ${err.fileName}:${err.lineNumber}`);
    return true;
  });
}

// Each [call, class, message]: the call throws exactly that.
function assertThrowsEach(cases) {
  for (const [call, type, message] of cases) {
    assert.throws(call, (err) => err.constructor === type && err.message === message,
      `${type.name}: ${message}`);
  }
}

const authorized = { authorizationStatus: 2 };

module.exports = { sim, addon, deliver, assertRejects, assertThrowsEach, authorized };
