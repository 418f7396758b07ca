// logcontrol.node drives liblogcore and lets JavaScript log into its files.
// The tests share one process (liblogcore's state is process-wide) and run in
// order.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const lc = require(path.join(process.env.KESTRO_OUT_DIR, 'logcontrol.node'));
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'logcontrol-'));

// The text of every file of a channel ("kestro", "qsyn", "trace") with the
// user id, joined.
function channel(name, userId = '77') {
  return fs.readdirSync(dir)
    .filter((f) => f.startsWith(`${name}-main-`) && f.endsWith(`-p${process.pid}-id${userId}.log`))
    .map((f) => fs.readFileSync(path.join(dir, f), 'utf8')).join('');
}

test('argument errors', () => {
  const cases = [
    [() => lc.initLogging(dir, 'main', '77'), Error, 'Wrong number of arguments'],
    [() => lc.initLogging(dir, 1, '77', true), TypeError, 'Received: "number" but expected: "string"'],
    [() => lc.initLogging(dir, 'main', '77', 'yes'), TypeError, 'Received: "string" but expected: "boolean"'],
    [() => lc.updateLoggingWithUserId(null), TypeError, 'Received: "null" but expected: "string"'],
    [() => lc.flushLogs(1), Error, 'Wrong number of arguments'],
    [() => lc.deinitLogging(1), Error, 'Wrong number of arguments'],
    [() => lc.getCompleteMasterLogConfig(1), Error, 'Wrong number of arguments'],
    [() => lc.setCompleteMasterLogConfig(), Error, 'Wrong number of arguments'],
    [() => lc.log('c', 'INFO'), Error, 'Wrong number of arguments'],
    [() => lc.log(1, 'INFO', 'm'), TypeError, 'Received: "number" but expected: "string"'],
    [() => lc.log('c', 'INFO', {}), TypeError, 'Received: "object" but expected: "string"'],
    [() => lc.log('c', true, 'm'), TypeError, 'Received: "boolean" but expected: "string or number"'],
    [() => lc.log('c', 'loud', 'm'), Error, 'invalid logger level: loud'],
    [() => lc.log('c', 1.5, 'm'), Error, 'log level must be an integer from 0 to 4294967295, got 1.5'],
    [() => lc.log('c', -1, 'm'), Error, 'log level must be an integer from 0 to 4294967295, got -1'],
    [() => lc.log('c', 'FATAL', 'm'), Error,
      'log level FATAL would end the process; the highest level accepted is DFATAL'],
  ];
  for (const [call, type, message] of cases) {
    assert.throws(call, (err) => err.constructor === type && err.message === message, message);
  }
});

test('messages from JavaScript reach the channels at the core levels', () => {
  lc.initLogging(dir, 'main', '77', true);
  lc.log('app.ui', 'INFO', 'hello from js');
  lc.log('app.ui', 2000, 'numeric level');
  lc.log('app.ui', 'DBG', 'below the level');
  lc.log('qsyn.Database', 'dbg', 'sync detail');
  lc.flushLogs();
  const main = channel('kestro');
  assert.match(main, / javascript:0\] hello from js\n/);
  assert.match(main, / javascript:0\] numeric level\n/);
  assert.doesNotMatch(main, /below the level|sync detail/);
  assert.match(channel('qsyn'), /\(javascript\): \[U:D:\] sync detail\n/);
  assert.match(channel('trace'), /"name":"initLogging".*"ph":"E"/);
});

test('texts of any length and characters reach the file whole', () => {
  // Near the first read's 256 bytes a character may not fit whole; a text past
  // 64 KiB takes a second read and is not kept; a short one follows it.
  const texts = [250, 251, 252, 253, 254, 255].map((n) => `${'a'.repeat(n)}\u{1F600}\u00e9`);
  texts.push(`${'x'.repeat(70000)}\u20ac`, 'short after long');
  for (const text of texts) lc.log('app.ui', 'INFO', text);
  lc.log('app.\u00fc'.repeat(60), 'INFO', 'long category name');
  lc.flushLogs();
  const main = channel('kestro');
  for (const text of [...texts, 'long category name']) {
    assert.ok(main.includes(` javascript:0] ${text}\n`), text.slice(0, 20));
  }
});

test('a native error is logged at ERR, with the trail it has when it is made', () => {
  assert.throws(() => lc.log(5, 'INFO', 'm'));
  lc.flushLogs();
  assert.match(channel('kestro'),
    /^E.* Exception\.cpp:\d+\] Received: "number" but expected: "string"thrown in napi_type_check at Zandrel\/NapiUtils\/src\/Base\.cpp:\d+$/m);
});

test('the master configuration reads as a plain object and can be replaced', () => {
  const config = lc.getCompleteMasterLogConfig();
  assert.strictEqual(Object.getPrototypeOf(config), Object.prototype);
  assert.deepStrictEqual(config.categories.qsyn,
    { handlers: ['qsynLog'], inherit: false, level: 'DEBUG', propagate: 'WARN' });
  assert.strictEqual(config.handlers.kestroLog.type, 'kestroGlog');

  config.categories['app'] = { level: 3000, inherit: false, handlers: ['kestroLog'] };
  lc.setCompleteMasterLogConfig(config);
  assert.strictEqual(lc.getCompleteMasterLogConfig().categories.app.level, 'WARN');
  lc.log('app.ui', 'INFO', 'now below the level');
  lc.log('app.ui', 'WARN', 'still written');
  lc.flushLogs();
  assert.doesNotMatch(channel('kestro'), /now below the level/);
  assert.match(channel('kestro'), /still written/);
});

test('configuration errors are JavaScript errors and change nothing', () => {
  const before = lc.getCompleteMasterLogConfig();
  const cyclic = {};
  cyclic.self = cyclic;
  const cases = [
    ['nope', Error, 'JSON config input must be an object'],
    [{ categories: 5 }, Error,
      'unexpected data type for log categories config: got integer, expected an object'],
    [{ categories: { x: { level: 'loud' } } }, Error, 'invalid log level "loud" for category "x"'],
    [{ categories: { x: { level: () => 1 } } }, TypeError,
      'Can\'t convert the value at config.categories.x.level: Received: "function" but expected: "null or boolean or number or string or object"'],
    [{ categories: { x: [1, undefined] } }, TypeError,
      'Can\'t convert the value at config.categories.x[1]: Received: "undefined" but expected: "null or boolean or number or string or object"'],
    [{ categories: cyclic }, TypeError, /^Can't convert the value at config\.categories(\.self)+: nested deeper than 64 levels$/],
    [{ get categories() { throw new RangeError('from a getter'); } }, RangeError, 'from a getter'],
  ];
  for (const [value, type, message] of cases) {
    assert.throws(() => lc.setCompleteMasterLogConfig(value), (err) => {
      assert.strictEqual(err.constructor, type);
      typeof message === 'string' ? assert.strictEqual(err.message, message)
        : assert.match(err.message, message);
      return true;
    });
  }
  assert.deepStrictEqual(lc.getCompleteMasterLogConfig(), before);
});

test('numbers cross as 64-bit integers when they are safe integers, else as doubles', () => {
  const config = lc.getCompleteMasterLogConfig();
  config.categories['numbers'] = { level: 2000.5 };
  assert.throws(() => lc.setCompleteMasterLogConfig(config), {
    message: 'unexpected data type for level field of category "numbers": got double, expected a string or integer',
  });
  config.categories['numbers'] = { level: 2 ** 53 };
  assert.throws(() => lc.setCompleteMasterLogConfig(config), /got double/);
  config.categories['numbers'] = { level: 3000 };
  lc.setCompleteMasterLogConfig(config);
  assert.strictEqual(lc.getCompleteMasterLogConfig().categories.numbers.level, 'WARN');
});

test('a new user id moves the channels to new files; deinit stops writing', () => {
  lc.updateLoggingWithUserId('88');
  lc.log('app.ui', 'WARN', 'for the new user');
  lc.flushLogs();
  assert.match(channel('kestro', '88'), /for the new user/);
  assert.doesNotMatch(channel('kestro', '77'), /for the new user/);
  lc.deinitLogging();
  lc.log('app.ui', 'ERR', 'after deinit');
  lc.flushLogs();
  assert.doesNotMatch(channel('kestro', '88'), /after deinit/);
  fs.rmSync(dir, { recursive: true, force: true });
});
