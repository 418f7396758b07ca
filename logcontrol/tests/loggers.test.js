// logcontrol.getLogger: loggers bound to a category, their levels, the JSON of
// their second argument, call sites and workers. The tests share one process
// (liblogcore's state is process-wide) and run in order.
'use strict';
const { test, after } = require('node:test');
const assert = require('node:assert');
const { Worker } = require('node:worker_threads');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { modulePaths, filesText } = require('../../reliability/tests/support');

const lc = require(modulePaths.logcontrol);
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'loggers-'));
after(() => fs.rmSync(dir, { recursive: true, force: true }));
const main = () => filesText(dir, 'kestro-');
const sync = () => filesText(dir, 'qsyn-');
// The lines of the main log that end in `text`.
const linesEndingIn = (text) => main().split('\n').filter((line) => line.endsWith(text));

// Replaces the categories named in `categories`, keeping the rest.
function configure(categories) {
  const config = lc.getCompleteMasterLogConfig();
  Object.assign(config.categories, categories);
  for (const [name, value] of Object.entries(categories)) {
    if (value === undefined) delete config.categories[name];
  }
  lc.setCompleteMasterLogConfig(config);
}

test('argument errors', () => {
  const log = lc.getLogger('app.errors');
  const cases = [
    [() => lc.getLogger(5), TypeError, 'Received: "number" but expected: "string"'],
    [() => lc.getLogger('x', null), TypeError, 'Received: "null" but expected: "object or undefined"'],
    [() => lc.getLogger('x', { callSite: 1 }), TypeError,
      'Received: "number" but expected: "boolean or undefined"'],
    [() => log.info({ text: 'x' }), TypeError, 'Received: "object" but expected: "string"'],
    [() => log.dbg(undefined), TypeError, 'Received: "undefined" but expected: "string"'],
    [() => log.child(1), TypeError, 'Received: "number" but expected: "string"'],
    [() => log.isEnabled('loud'), Error, 'invalid logger level: loud'],
    [() => log.isEnabled(true), TypeError, 'Received: "boolean" but expected: "string or number"'],
    [() => log.isEnabled(1.5), Error, 'log level must be an integer from 0 to 4294967295, got 1.5'],
  ];
  for (const [call, type, message] of cases) {
    assert.throws(call, (err) => err.constructor === type && err.message === message, message);
  }
});

test('each method writes at its level, to its category', () => {
  lc.initLogging(dir, 'main', '77', true);
  configure({ app: { level: 'DBG', inherit: false } });
  const log = lc.getLogger('app//levels');
  const syncLog = lc.getLogger('qsyn').child('Js').child('levels');
  assert.deepStrictEqual([log.category, syncLog.category, log.callSite], ['app.levels', 'qsyn.Js.levels', false]);
  const methods = [['dbg', 'V', 'U'], ['info', 'I', 'U'], ['warn', 'W', 'W'], ['error', 'E', 'E'],
    ['critical', 'C', 'U']];
  for (const [method] of methods) {
    assert.strictEqual(log[method](`${method} of app`), undefined);
    syncLog[method](`${method} of sync`);
  }
  lc.getLogger('qsyn.Network.mqtt_client').dbg('below its level');
  lc.flushLogs();
  for (const [method, letter, syncLetter] of methods) {
    assert.match(main(), new RegExp(`^${letter}\\d{4} .* javascript:0\\] ${method} of app$`, 'm'));
    assert.ok(sync().includes(`(javascript): [${syncLetter}:J:levels] ${method} of sync\n`), method);
    // The sync engine's categories reach the main log from WARN up.
    assert.strictEqual(main().includes(`] ${method} of sync\n`), ['warn', 'error', 'critical'].includes(method));
  }
  assert.doesNotMatch(main() + sync(), /below its level/);
});

test('isEnabled follows the core after every configuration change', () => {
  const log = lc.getLogger('app.ui');
  const child = log.child('dialog');
  const levels = () => [log.isEnabled('DBG'), log.isEnabled('info'), log.isEnabled(3000), child.isEnabled('INFO')];
  assert.deepStrictEqual(levels(), [true, true, true, true]);  // app at DBG from the test before
  configure({ app: { level: 'WARN', inherit: false }, 'app.ui.dialog': { level: 'DBG' } });
  // An inheriting category takes the lower of its own level and its parent's.
  assert.deepStrictEqual(levels(), [false, false, true, true]);
  assert.strictEqual(lc.getLogger('app.other').isEnabled('ERR'), true);
  log.info('dropped at WARN');
  log.warn('written at WARN');
  child.dbg('written at DBG');
  configure({ app: undefined, 'app.ui.dialog': undefined });
  // Gone from the configuration: back to the root's INFO, though the module's
  // own database (which merges what it copies) keeps the older levels.
  assert.deepStrictEqual(levels(), [false, true, true, true]);
  log.info('written at INFO again');
  lc.flushLogs();
  assert.strictEqual(linesEndingIn('] dropped at WARN').length, 0);
  for (const text of ['written at WARN', 'written at DBG', 'written at INFO again']) {
    assert.strictEqual(linesEndingIn(`] ${text}`).length, 1, text);
  }
});

test('the second argument is appended as JSON, and never makes a call throw', () => {
  const log = lc.getLogger('app.json');
  const cyclic = { name: 'c', list: [] };
  cyclic.self = cyclic;
  cyclic.list.push(cyclic);
  const deep = {};
  for (let at = deep, i = 0; i < 5000; ++i) at = at.next = {};
  const holes = [];
  holes.length = 2 ** 32 - 1;
  const cases = [
    [{ a: 1, b: 'x', c: [true, null] }, '{"a":1,"b":"x","c":[true,null]}'],
    [[1, undefined, () => 1, Symbol('s')], '[1,null,null,null]'],
    [{ skipped: undefined, f() {}, kept: 0 }, '{"kept":0}'],
    ['text', '"text"'],
    [NaN, 'null'],
    [null, 'null'],
    [() => 1, 'null'],
    [new Date(0), '"1970-01-01T00:00:00.000Z"'],
    [12n, '"12"'],
    [{ big: 2n ** 70n, n: 1 }, '{"big":"1180591620717411303424","n":1}'],
    [cyclic, '{"name":"c","list":["[Circular]"],"self":"[Circular]"}'],
    [{ ok: 1, get bad() { throw new RangeError('no'); } }, '{"ok":1,"bad":"[Thrown: RangeError: no]"}'],
    [{ toJSON() { throw new Error('toJSON'); } }, '"[Thrown: Error: toJSON]"'],
    [{ get bad() { throw { toString() { throw 1; } }; } },
      '{"bad":"[Thrown: a value that cannot be shown]"}'],
    [new Proxy({}, { ownKeys() { throw new Error('keys'); } }), '"[Thrown: Error: keys]"'],
    [{ deep }, /^\{"deep":(\{"next":){63}"\[Too deep\]"\}+$/],
    [holes, /^\[(null,){262144}"\[Too long\]"\]$/],
    [Object.assign(new Error('boom'), { code: 'E_BOOM' }),
      /^\{"name":"Error","message":"boom","stack":"Error: boom.*","code":"E_BOOM"\}$/],
  ];
  // At WARN, which the writer never drops (one line is a MiB long).
  cases.forEach(([value], i) => log.warn(`json ${i}`, value));
  log.warn('json none', undefined);
  lc.flushLogs();
  cases.forEach(([, expected], i) => {
    const [line] = linesEndingIn('').filter((l) => l.includes(`] json ${i} `));
    assert.ok(line, `case ${i}`);
    const json = line.slice(line.indexOf(`] json ${i} `) + `] json ${i} `.length);
    if (typeof expected === 'string') assert.strictEqual(json, expected, `case ${i}`);
    else assert.match(json, expected, `case ${i}`);
  });
  assert.strictEqual(linesEndingIn('] json none').length, 1);
});

test('a logger made with callSite names the file and line of its caller', () => {
  const log = lc.getLogger('qsyn.Js.site', { callSite: true });
  const plain = lc.getLogger('app.site');
  const line = new Error().stack.split('\n')[1].match(/:(\d+):\d+\)?$/)[1] - 0 + 1;
  log.warn('with its call site'); plain.warn('without a call site'); log.child('more').error('from a child');
  lc.flushLogs();
  assert.strictEqual(log.child('more').callSite, true);
  assert.strictEqual(linesEndingIn(` loggers.test.js:${line}] with its call site`).length, 1);
  assert.strictEqual(linesEndingIn(` loggers.test.js:${line}] from a child`).length, 1);
  assert.strictEqual(linesEndingIn(' javascript:0] without a call site').length, 1);
  assert.ok(sync().includes(`(${__filename}): [W:J:site] with its call site\n`));
});

// A worker logs, sees a configuration change made by the main thread, and ends
// (or is terminated while it logs); changes after its end touch nothing of it.
const workerScript = `
  const { parentPort, threadId, workerData } = require('node:worker_threads');
  const lc = require(workerData.logcontrol);
  const log = lc.getLogger('app.worker');
  parentPort.on('message', (command) => {
    if (command === 'flood') {
      parentPort.postMessage('flooding');
      for (let i = 0; ; ++i) log.info('flood ' + i, { i, threadId });
    }
    const enabled = log.isEnabled('INFO');
    log.warn('worker ' + threadId + ' info enabled: ' + enabled, { threadId });
    parentPort.postMessage(enabled);
  });
  parentPort.postMessage('ready');`;

function startWorker() {
  const worker = new Worker(workerScript, { eval: true, workerData: modulePaths });
  const replies = [];
  let wake = null;
  worker.on('message', (m) => { replies.push(m); if (wake) wake(); });
  const next = async () => {
    while (replies.length === 0) await new Promise((resolve) => { wake = resolve; });
    return replies.shift();
  };
  return { worker, next };
}

test('loggers work in worker threads and follow changes made elsewhere', async (t) => {
  const first = startWorker();
  const second = startWorker();
  t.after(() => Promise.all([first.worker.terminate(), second.worker.terminate()]));
  assert.deepStrictEqual([await first.next(), await second.next()], ['ready', 'ready']);
  const { threadId } = first.worker;
  first.worker.postMessage('ask');
  assert.strictEqual(await first.next(), true);
  configure({ 'app.worker': { level: 'WARN', inherit: false } });
  first.worker.postMessage('ask');
  assert.strictEqual(await first.next(), false);
  second.worker.postMessage('flood');
  assert.strictEqual(await second.next(), 'flooding');
  // Changes while the second logs flat out, then its end in the middle of it.
  for (const level of ['INFO', 'DBG', 'INFO']) configure({ 'app.worker': { level, inherit: false } });
  await Promise.all([first.worker.terminate(), second.worker.terminate()]);
  configure({ 'app.worker': { level: 'ERR', inherit: false } });
  assert.strictEqual(lc.getLogger('app.worker').isEnabled('WARN'), false);
  lc.flushLogs();
  assert.match(main(), new RegExp(`\\] worker ${threadId} info enabled: true \\{"threadId":${threadId}\\}\n`));
  assert.match(main(), new RegExp(`\\] worker ${threadId} info enabled: false \\{"threadId":${threadId}\\}\n`));
  assert.match(main(), /\] flood \d+ \{"i":\d+,"threadId":\d+\}\n/);
  lc.deinitLogging();
});
