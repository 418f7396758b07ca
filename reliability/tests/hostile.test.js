// Every export of the four Node modules (and the methods of a logcontrol
// logger), called with every argument count from 0 to 9 and arguments of every
// JavaScript kind, for a fixed number of seeded rounds: each call returns,
// throws an Error or a TypeError (or what a proxy trap threw), or gives a
// promise that settles in time. Never a crash, an abort or a hang.
//
// KESTRO_HOSTILE_SEED and KESTRO_HOSTILE_ROUNDS repeat or widen a run; a
// failure names the seed, the round and the call.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const path = require('node:path');
const { modulePaths, sanitized, seededRandom, temporaryDirectory } = require('./support');

const SEED = Number(process.env.KESTRO_HOSTILE_SEED || 20240611);
const ROUNDS = Number(process.env.KESTRO_HOSTILE_ROUNDS || (sanitized ? 40 : 200));
const MAX_ARGUMENTS = 9;
const SETTLE_TIMEOUT_MS = 30000;

class TrapError extends Error {}
const trap = () => { throw new TrapError('trap'); };
// Every trap but calling and constructing: a throwing handler function would
// be the process's uncaught exception by design, not a fault.
const throwingTraps = Object.fromEntries(['get', 'set', 'has', 'ownKeys', 'deleteProperty',
  'getOwnPropertyDescriptor', 'defineProperty', 'getPrototypeOf', 'setPrototypeOf',
  'isExtensible', 'preventExtensions'].map((name) => [name, trap]));

// Strings never start with "/" nor hold "..": the log directories, tags and
// user ids logcontrol gets stay inside the test's working directory.
function hostileValues(dir) {
  const holes = [, 'a', , 7]; // eslint-disable-line no-sparse-arrays
  const sparse = [];
  sparse.length = 2 ** 32 - 1;
  const cyclic = { a: 1 };
  cyclic.self = cyclic;
  let deep = {};
  for (let i = 0; i < 200; ++i) deep = { deep };
  const getterThrows = Object.defineProperty({}, 'action', { enumerable: true, get: trap });
  const arrayGetterThrows = Object.defineProperty(['g'], 1, { enumerable: true, get: trap });
  const { proxy: revoked, revoke } = Proxy.revocable({}, {});
  revoke();
  return {
    undefined, null: null, true: true, false: false,
    'number 0': 0, 'number -0': -0, 'number 1': 1, 'number -1': -1, 'number 1.5': 1.5,
    NaN, Infinity, '-Infinity': -Infinity, '2^31': 2 ** 31, '2^32': 2 ** 32, '2^53': 2 ** 53,
    'MAX_VALUE': Number.MAX_VALUE, 'level INFO': 2000, 'level WARN': 3000,
    'level DFATAL': 0x7ffffffe, 'level FATAL': 0x7fffffff, 'number 2^32-1': 4294967295,
    "''": '', "'a'": 'a', "'g'": 'g', "'Reply'": 'Reply', "'WARN'": 'WARN', "'dbg3'": 'dbg3',
    "'FATAL'": 'FATAL', "'LogLevel(1234)'": 'LogLevel(1234)', "'10.13'": '10.13',
    "'14.0'": '14.0', "'default'": 'default', "'REPLY'": 'REPLY', "'ANSWER_CALL'": 'ANSWER_CALL',
    "'nul\\0inside'": 'nul\0inside', "'\\uD800' (lone surrogate)": '\uD800',
    "'x\\uDC00y'": 'x\uDC00y', "'ü✉😀'": 'ü✉😀', "'a/b'": 'a/b', "'.a..b.'": '.a..b.',
    'string of 100000': 'x'.repeat(100000),
    'Symbol()': Symbol(), "Symbol('s')": Symbol('s'), 'Symbol.iterator': Symbol.iterator,
    '{}': {}, 'Object.create(null)': Object.create(null),
    "{action:'default'}": { action: 'default' },
    "{action:'REPLY',text}": { action: 'REPLY', text: 'typed' },
    "{action:'ANSWER_CALL'}": { action: 'ANSWER_CALL' },
    "{authorizationStatus:2}": { authorizationStatus: 2 },
    "{osVersion:'10.13'}": { osVersion: '10.13' }, "{osVersion:'14.0'}": { osVersion: '14.0' },
    '{grant:false}': { grant: false }, '{settings:{alertStyle:9}}': { settings: { alertStyle: 9 } },
    '{categories:{},handlers:{}}': { categories: {}, handlers: {} },
    '{categories:{x:{level:"DBG"}}}': { categories: { x: { level: 'DBG' } } },
    'object with a throwing getter': getterThrows, 'cyclic object': cyclic,
    'object nested 200 deep': deep, 'Date': new Date(0), 'RegExp': /r/g,
    'Map': new Map([[1, 2]]), 'Buffer': Buffer.from('abc'), 'Uint8Array': new Uint8Array(3),
    'Error': new Error('e'), 'Promise': Promise.resolve(1),
    '[]': [], "['a', 3]": ['a', 3], "['g','a']": ['g', 'a'], 'array with holes': holes,
    'sparse array of 2^32-1': sparse, 'array with a throwing getter': arrayGetterThrows,
    'batches': [[{ identifier: 'g', response: { action: 'default' } }], []],
    'arrow function': () => {}, 'function': function named() { return this; },
    'async function': async () => 1, 'generator function': function* gen() { yield 1; },
    'Math.max': Math.max, 'bound function': function bound() {}.bind(null, 1),
    '0n': 0n, '-1n': -1n, '2n**70n': 2n ** 70n,
    'proxy of {} throwing': new Proxy({}, throwingTraps),
    'proxy of [] throwing': new Proxy([], throwingTraps),
    'proxy of a function throwing': new Proxy(() => {}, throwingTraps),
    'revoked proxy': revoked,
    'the log directory': dir,
  };
}

// The kinds each export expects, by argument: an argument is of its expected
// kind FITTING times in a hundred, so calls also get past the checks.
const FITTING = 85;
const logsAlways = new Set(['logger.dbg', 'logger.info', 'logger.warn', 'logger.error',
  'logger.critical']);
const expectedKinds = {
  'notifyaddon.initNotificationCenterDelegate': ['string', 'function'],
  'notifyaddon.deliverNotification':
    ['string', 'string', 'string', 'boolean', 'string', 'string', 'boolean'],
  'notifyaddon.removeNotificationsWithGroupIDs': ['array'],
  'notifysim.configure': ['object'],
  'notifysim.respond': ['string', 'object'],
  'notifysim.respondMany': ['array'],
  'logcontrol.initLogging': ['string', 'string', 'string', 'boolean'],
  'logcontrol.updateLoggingWithUserId': ['string'],
  'logcontrol.log': ['string', 'string', 'string'],
  'logcontrol.setCompleteMasterLogConfig': ['object'],
  'logcontrol.getLogger': ['string', 'object'],
  'logger.dbg': ['string'], 'logger.info': ['string'], 'logger.warn': ['string'],
  'logger.error': ['string'], 'logger.critical': ['string'], 'logger.child': ['string'],
};

function kindOf(value) {
  try {
    if (Array.isArray(value)) return 'array';
  } catch {
    return 'revoked'; // Array.isArray throws on a revoked proxy
  }
  return value === null ? 'null' : typeof value;
}

function drawArguments(random, name, count, values, byKind) {
  const kinds = expectedKinds[name] || [];
  return Array.from({ length: count }, (_, i) => (
    i < kinds.length && random.below(100) < FITTING
      ? random.pick(byKind.get(kinds[i])) : random.pick(values)));
}

function describeCall(name, thisLabel, labels, construct) {
  return `${construct ? 'new ' : ''}${name}.call(${[thisLabel, ...labels].join(', ')})`;
}

test('hostile calls return, throw an Error or TypeError, or settle', async (t) => {
  const dir = temporaryDirectory(t, 'hostile');
  process.chdir(dir); // relative paths handed to logcontrol land here
  const modules = Object.fromEntries(
    Object.entries(modulePaths).map(([name, file]) => [name, require(file)]));
  const exports = Object.entries(modules).flatMap(([moduleName, m]) =>
    Object.getOwnPropertyNames(m).map((name) => [`${moduleName}.${name}`, m[name]]));
  assert.strictEqual(exports.length, 23);
  // A logger's methods too, called on the logger (at DBG, so every method
  // logs): given a string first, they never throw, whatever the rest is.
  const logger = modules.logcontrol.getLogger('qsyn.hostile');
  const loggerMethods = ['dbg', 'info', 'warn', 'error', 'critical', 'isEnabled', 'child'];
  exports.push(...loggerMethods.map((name) => [`logger.${name}`, logger[name]]));
  const values = Object.entries(hostileValues(dir));
  const byKind = new Map();
  for (const entry of values) {
    const kind = kindOf(entry[1]);
    byKind.set(kind, [...(byKind.get(kind) || []), entry]);
  }
  // Lines the modules log go to files in `dir`, not to the test's output.
  modules.logcontrol.initLogging(dir, 'hostile', '1', false);
  const uncaught = [];
  process.on('uncaughtException', (err) => uncaught.push(err));
  t.diagnostic(`seed ${SEED}, ${ROUNDS} rounds`);

  const random = seededRandom(SEED);
  let calls = 0;
  for (let round = 0; round < ROUNDS; ++round) {
    const pending = [];
    for (const [name, fn] of exports) {
      for (let count = 0; count <= MAX_ARGUMENTS; ++count) {
        const [thisLabel, self] = name.startsWith('logger.') ? ['logger', logger] : random.pick(values);
        const drawn = drawArguments(random, name, count, values, byKind);
        const args = drawn.map(([, value]) => value);
        const construct = random.below(20) === 0;
        const where = () => `seed ${SEED}, round ${round}: ` +
          describeCall(name, thisLabel, drawn.map(([label]) => label), construct);
        let result;
        try {
          result = construct ? Reflect.construct(fn, args) : fn.apply(self, args);
        } catch (err) {
          assert.ok(!(logsAlways.has(name) && typeof args[0] === 'string' && !construct),
            `${where()} threw ${err}`);
          assert.ok(err instanceof TrapError ||
            (err !== null && (err.constructor === Error || err.constructor === TypeError)),
          `${where()} threw ${err && err.constructor && err.constructor.name}: ${err}`);
          continue;
        } finally {
          ++calls;
        }
        if (result instanceof Promise) pending.push([result, where]);
      }
    }
    await settleAll(pending);
  }
  modules.logcontrol.deinitLogging();
  process.chdir(path.dirname(dir));
  assert.deepStrictEqual(uncaught, []);
  t.diagnostic(`${calls} calls`);
});

// Every promise settles within SETTLE_TIMEOUT_MS; the first that does not is
// named.
async function settleAll(pending) {
  let timer;
  const late = new Promise((resolve) => { timer = setTimeout(resolve, SETTLE_TIMEOUT_MS); });
  const settled = new Set();
  const all = Promise.allSettled(pending.map(([p], i) => p.finally(() => settled.add(i))));
  await Promise.race([all, late]);
  clearTimeout(timer);
  const open = pending.findIndex((_, i) => !settled.has(i));
  assert.strictEqual(open, -1, open < 0 ? '' : `${pending[open][1]()} did not settle`);
}
