// bootclock.node: one function, whose promise this platform always rejects.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');
const util = require('node:util');

const bootclock = require(path.join(process.env.KESTRO_OUT_DIR, 'bootclock.node'));

const MESSAGE = "macOS can't tell us the process start time";
const SOURCE = 'BootClock/addon/src/ProcessStartDate-macOS.cpp';
// The line of the rejection in the function's source, as __LINE__ gives it.
const LINE = fs.readFileSync(path.join(__dirname, '..', 'src', 'ProcessStartDate-macOS.cpp'), 'utf8')
  .split('\n').findIndex((line) => line.includes('rejectWithMessage(')) + 1;

function assertTheRejection(err) {
  assert.strictEqual(err.constructor, Error);
  assert.strictEqual(err.message, MESSAGE);
  assert.strictEqual(err.code, 'Error');
  assert.strictEqual(err.fileName, SOURCE);
  assert.strictEqual(err.lineNumber, LINE);
  assert.strictEqual(err.stack, `${MESSAGE}\n  at ${SOURCE}:${LINE}`);
}

test('the module exports getProcessStartDate and nothing else', () => {
  assert.deepStrictEqual(Object.getOwnPropertyNames(bootclock), ['getProcessStartDate']);
  assert.strictEqual(typeof bootclock.getProcessStartDate, 'function');
});

test('every call, with or without arguments, returns a new promise already rejected the same way', async () => {
  const argumentLists = [[], [], [undefined], [null], [1, 'two', { three: 3 }], [() => {}]];
  const promises = argumentLists.map((args) => bootclock.getProcessStartDate(...args));
  assert.strictEqual(new Set(promises).size, promises.length);
  for (const promise of promises) {
    assert.ok(promise instanceof Promise);
    assert.match(util.inspect(promise), /^Promise \{\s+<rejected>/);
  }
  const reasons = await Promise.all(promises.map((promise) => promise.then(
    () => assert.fail('resolved'), (err) => err)));
  reasons.forEach(assertTheRejection);
  assert.strictEqual(new Set(reasons).size, reasons.length);
});
