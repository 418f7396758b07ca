// Conversions, type checks, errors and the boundary, through the test module.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('node:child_process');
const path = require('node:path');

const modulePath = path.join(process.env.KESTRO_TEST_MODULE_DIR, 'zandrel_test.node');
const m = require(modulePath);
const MODULE_SOURCE = 'Zandrel/NapiUtils/tests/NapiTestModule.cpp';

function lastLine(text) {
  return text.split('\n').at(-1);
}

test('a type mismatch names the received and the expected types', () => {
  const cases = [
    [5, ['string', 'null', 'undefined'], 'number', 'string or null or undefined'],
    [undefined, ['string'], 'undefined', 'string'],
    [null, ['boolean'], 'null', 'boolean'],
    [true, ['string'], 'boolean', 'string'],
    ['x', ['number'], 'string', 'number'],
    [{}, ['function'], 'object', 'function'],
    [() => {}, ['object'], 'function', 'object'],
    [Symbol('s'), ['string'], 'symbol', 'string'],
    [10n, ['number'], 'bigint', 'number'],
  ];
  for (const [value, types, received, expected] of cases) {
    assert.throws(() => m.typeCheck(value, ...types), (err) => {
      assert.strictEqual(err.constructor, TypeError);
      assert.strictEqual(err.message, `Received: "${received}" but expected: "${expected}"`);
      return true;
    });
  }
  m.typeCheck('ok', 'number', 'string');
});

test("the where trail starts where the error was raised and ends at the caller", () => {
  assert.throws(() => m.typeCheck(1, 'string'), (err) => {
    const where = err.stack.slice(err.stack.indexOf('thrown in ')).split('\n');
    assert.match(where[0], /^thrown in napi_type_check at Zandrel\/NapiUtils\/src\/Base\.cpp:\d+$/);
    assert.match(lastLine(err.stack), new RegExp(`^  in typeCheck at ${MODULE_SOURCE}:\\d+$`));
    assert.doesNotMatch(err.message, /thrown in/);
    return true;
  });
  assert.throws(() => m.createBool('yes'), (err) => {
    assert.strictEqual(err.constructor, TypeError);
    assert.strictEqual(err.message, 'Received: "string" but expected: "boolean"');
    assert.match(lastLine(err.stack), /^  in GetBool at Zandrel\/NapiUtils\/src\/TypeUtils\.cpp:\d+$/);
    return true;
  });
});

test('GetCXXString reads empty and multi-byte strings; a non-string is the host error', () => {
  for (const text of ['', 'grüße 🎉 – ok', 'a\u0000b']) {
    assert.strictEqual(m.getString(text), text);
  }
  assert.throws(() => m.getString(7), (err) => {
    assert.strictEqual(err.constructor, Error);
    assert.strictEqual(err.message, 'A string was expected');
    assert.match(lastLine(err.stack), new RegExp(`^  in getString at ${MODULE_SOURCE}:\\d+$`));
    return true;
  });
});

test('GetCXXStringOrEmptyStringIfNull gives "" for null and undefined only', () => {
  assert.strictEqual(m.getStringOrEmpty(null), '');
  assert.strictEqual(m.getStringOrEmpty(undefined), '');
  assert.strictEqual(m.getStringOrEmpty('text'), 'text');
  assert.throws(() => m.getStringOrEmpty(3), (err) => {
    assert.strictEqual(err.constructor, Error);
    assert.strictEqual(err.message, 'A string was expected');
    const trail = err.stack.slice(err.stack.indexOf('thrown in ')).split('\n');
    assert.match(trail[1], /^  in GetCXXStringOrEmptyStringIfNull at Zandrel\/NapiUtils\/src\/StringUtils\.cpp:\d+$/);
    assert.match(trail[2], new RegExp(`^  in getStringOrEmpty at ${MODULE_SOURCE}:\\d+$`));
    return true;
  });
});

test('CreateBool gives the booleans themselves', () => {
  assert.strictEqual(m.createBool(true), true);
  assert.strictEqual(m.createBool(false), false);
});

test('named properties are set with their values', () => {
  assert.deepStrictEqual({ ...m.makeObject() }, { nothing: null, text: 'grüße', number: -7 });
});

test('CallJSCallback passes arguments and returns the result', (t) => {
  const fn = t.mock.fn((a, b) => `${a}:${b}`);
  assert.strictEqual(m.callJS(fn, 1, 'two'), '1:two');
  assert.strictEqual(fn.mock.callCount(), 1);
});

test('CallJSCallback refuses an unset argument without calling JavaScript', (t) => {
  const fn = t.mock.fn();
  assert.throws(() => m.callWithUnsetArgument(fn), {
    constructor: Error,
    message: 'Passing null argument. If you want to pass null to JS, use GetNull(env)',
  });
  assert.strictEqual(fn.mock.callCount(), 0);
});

test('a throwing callback is an uncaught exception of the process, not a native one', () => {
  const script = `
    const m = require(${JSON.stringify(modulePath)});
    process.on('uncaughtException', (e) => console.log('uncaught ' + e.message));
    const result = m.callJS(() => { throw new Error('boom'); });
    console.log('returned ' + result);`;
  const child = spawnSync(process.execPath, ['-e', script], { encoding: 'utf8', timeout: 30000 });
  assert.strictEqual(child.status, 0, child.stderr);
  assert.deepStrictEqual(child.stdout.trim().split('\n'), ['uncaught boom', 'returned undefined']);
});

test('rejectWithMessage rejects with an error object saying where', async () => {
  await assert.rejects(m.reject('it failed', 'src/Place.cpp', 15), (err) => {
    assert.strictEqual(err.constructor, Error);
    assert.strictEqual(err.message, 'it failed');
    assert.strictEqual(err.code, 'Error');
    assert.strictEqual(err.fileName, 'src/Place.cpp');
    assert.strictEqual(err.lineNumber, 15);
    assert.strictEqual(err.stack, 'it failed\n  at src/Place.cpp:15');
    return true;
  });
});

test('native exceptions become JavaScript errors of their kind at the boundary', () => {
  const cases = [
    ['Error', Error, 'native failure'],
    ['TypeError', TypeError, 'native type failure'],
    ['standard', Error, 'St13runtime_error: standard failure'],
    ['other', Error, '<unknown exception>'],
  ];
  for (const [kind, type, message] of cases) {
    assert.throws(() => m.throwNative(kind), (err) => {
      assert.strictEqual(err.constructor, type);
      assert.strictEqual(err.message, message);
      assert.strictEqual(err.code, undefined);
      return true;
    });
  }
  assert.throws(() => m.throwNative('Error'), (err) =>
    new RegExp(`\\nthrown in throwNative at ${MODULE_SOURCE}:\\d+$`).test(err.stack));
});
