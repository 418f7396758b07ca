// How a process that uses the modules ends: by itself, soon after its last
// work, whatever is still on its way; not before an answer to a notification
// it delivered can no longer come, while a handler is set; with every line
// handed to the logging core before a flushLogs in the files; and with a line
// at the main channel's sync level in the file even when it is killed right
// after the call.
'use strict';
const { test, before } = require('node:test');
const assert = require('node:assert');
const { modulePaths, runChild, temporaryDirectory, filesText } = require('./support');

const EXIT_WITHIN_MS = 1000;
const REFUSED_CALLS = 20;
const KILLED_CHILDREN = 8;

// Loads every module, logs into `dir`, sets a handler, delivers, and makes
// REFUSED_CALLS calls the addon refuses (each logs its error at ERR). `ending`
// is the script's last statements; it prints the time of its last work.
function childScript(dir, ending) {
  return `
    const m = Object.fromEntries(Object.entries(${JSON.stringify(modulePaths)})
      .map(([name, file]) => [name, require(file)]));
    const lastWork = () => console.log('last work at ' + Date.now());
    m.logcontrol.initLogging(${JSON.stringify(dir)}, 'main', '1', false);
    m.notifysim.configure({ authorizationStatus: 2 });
    m.notifyaddon.initNotificationCenterDelegate('Reply', () => {});
    m.bootclock.getProcessStartDate().catch(() => {});
    for (let i = 0; i < ${REFUSED_CALLS}; ++i) {
      try { m.notifyaddon.deliverNotification(i); } catch {}
    }
    const deliver = (id) => m.notifyaddon.deliverNotification('T', null, null, true, 'g', id, false);
    ${ending}`;
}

// The time of the child's "<what> at <ms>" line.
const stamp = (child, what) => Number(new RegExp(`${what} at (\\d+)`).exec(child.stdout)[1]);

// What node itself takes to end after its last statement (a second under
// ThreadSanitizer, some milliseconds without), on top of the allowance.
let baselineMs = 0;
before(async () => {
  const plain = await runChild("console.log('last work at ' + Date.now());");
  baselineMs = plain.exitedAt - stamp(plain, 'last work');
});

// Asserts that `child` ended soon after its last work.
function assertEndedSoon(t, name, child) {
  const exitMs = child.exitedAt - stamp(child, 'last work');
  t.diagnostic(`${name}: exited ${exitMs} ms after its last work (node alone: ${baselineMs} ms)`);
  assert.ok(exitMs < baselineMs + EXIT_WITHIN_MS,
    `${name}: exited ${exitMs} ms after its last work`);
}

test('a process exits by itself within a second of its last work, losing no flushed line',
  async (t) => {
    const cases = [
      ['after its deliveries settled and were removed', `
        Promise.all([deliver('1'), deliver('2')]).then(() => {
          m.notifyaddon.removeAllNotifications(); m.logcontrol.flushLogs(); lastWork(); });`],
      // On 10.14 each add takes effect at the call (no authorisation first).
      ['with completions still pending', `
        m.notifysim.configure({ osVersion: '10.14' });
        for (let i = 0; i < 100; ++i) deliver(String(i));
        m.notifysim.respond('g', { action: 'default' });
        m.notifyaddon.removeAllNotifications();
        m.logcontrol.flushLogs(); lastWork();`],
      ['calling process.exit with completions still pending', `
        for (let i = 0; i < 100; ++i) deliver(String(i));
        m.logcontrol.flushLogs(); lastWork(); process.exit(0);`],
    ];
    for (const [name, ending] of cases) {
      const dir = temporaryDirectory(t, 'exit');
      const child = await runChild(childScript(dir, ending));
      assert.strictEqual(child.status, 0, `${name}: ${child.stderr}`);
      assertEndedSoon(t, name, child);
      const refused = filesText(dir, 'kestro-').match(/^E.*Wrong number of argumentsthrown in/gm) || [];
      assert.strictEqual(refused.length, REFUSED_CALLS, name);
    }
  });

// Sets a handler that prints each event and then removes the notification
// (the simulated centre keeps answered ones), and delivers "chat" (id 42, with
// a reply field); `onShow` runs once it is on show.
function answerScript(onShow) {
  return `
    const sim = require(${JSON.stringify(modulePaths.notifysim)});
    const addon = require(${JSON.stringify(modulePaths.notifyaddon)});
    const stamp = (what) => console.log(what + ' at ' + Date.now());
    sim.configure({ authorizationStatus: 2 });
    addon.initNotificationCenterDelegate('Reply', (event, id, data) => {
      console.log(event, id, JSON.stringify(data));
      addon.removeNotificationsWithGroupIDs(['chat']);
      stamp('last work');
    });
    addon.deliverNotification('T', null, null, true, 'chat', '42', true).then(() => {
      stamp('on show');
      ${onShow}
    });`;
}

// The same in a worker of an otherwise idle process; `onMessage` runs in the
// main thread when the worker posts.
function inWorker(script, onMessage = '') {
  return `
    const { Worker } = require('node:worker_threads');
    const worker = new Worker(${JSON.stringify(script)}, { eval: true });
    const stamp = (what) => console.log(what + ' at ' + Date.now());
    worker.on('message', () => { ${onMessage} });
    worker.on('exit', (code) => console.log('worker exit ' + code));`;
}

// The simulated user answers two seconds later, from a timer that does not
// keep the process alive itself: only the answer that can still come does.
const answerLater = `setTimeout(() => sim.respond('chat', { action: 'REPLY', text: 'yes' }),
  2000).unref();`;
const ANSWER_AFTER_MS = 2000;
const REPLY_EVENT = 'reply 42 {"reply":"yes"}';

test('while a delivered notification can be answered the process lives, then ends by itself',
  async (t) => {
    const toWorker = "require('node:worker_threads').parentPort.postMessage('on show');";
    const cases = [
      // [name, script, exit status, worker exit code or null, waits for the answer]
      ['answered two seconds later', answerScript(answerLater), 0, null, true],
      ['removed at once', answerScript("addon.removeAllNotifications(); stamp('last work');"),
        0, null, false],
      ['process.exit while on show', answerScript("stamp('last work'); process.exit(3);"),
        3, null, false],
      ['a worker answered two seconds later', inWorker(answerScript(answerLater)), 0, 0, true],
      ['a worker that removes at once',
        inWorker(answerScript("addon.removeAllNotifications(); stamp('last work');")), 0, 0,
        false],
      ['a worker terminated while on show', inWorker(answerScript(toWorker),
        "stamp('last work'); worker.terminate();"), 0, 1, false],
    ];
    for (const [name, script, status, workerCode, answered] of cases) {
      const child = await runChild(script);
      assert.strictEqual(child.status, status, `${name}: ${child.stderr}`);
      assertEndedSoon(t, name, child);
      assert.strictEqual(child.stdout.includes(REPLY_EVENT), answered, `${name}: ${child.stdout}`);
      if (answered) {
        assert.ok(stamp(child, 'last work') - stamp(child, 'on show') >= ANSWER_AFTER_MS, name);
      }
      if (workerCode !== null) {
        assert.match(child.stdout, new RegExp(`^worker exit ${workerCode}$`, 'm'), name);
      }
    }
  });

test('a WARN line and an addon\'s ERR line are in the main file when their calls return',
  async (t) => {
    for (let i = 0; i < KILLED_CHILDREN; ++i) {
      const dir = temporaryDirectory(t, 'durable');
      const child = await runChild(`
        const lc = require(${JSON.stringify(modulePaths.logcontrol)});
        const addon = require(${JSON.stringify(modulePaths.notifyaddon)});
        lc.initLogging(${JSON.stringify(dir)}, 'main', '1', false);
        for (let i = 0; i < 100; ++i) lc.log('app', 'INFO', 'queued ' + i);
        lc.log('app', 'WARN', 'the warning ${i}');
        try { addon.removeNotificationsWithGroupIDs('not a list'); } catch {}
        process.kill(process.pid, 'SIGKILL');`);
      assert.strictEqual(child.signal, 'SIGKILL', child.stderr);
      const text = filesText(dir, 'kestro-');
      assert.match(text, new RegExp(`^W.* javascript:0\\] the warning ${i}$`, 'm'));
      assert.match(text, /^E.*\] Group IDs must be an array\.thrown in/m);
      assert.strictEqual((text.match(/\] queued \d+$/gm) || []).length, 100);
    }
  });
