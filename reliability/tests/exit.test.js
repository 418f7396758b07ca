// How a process that uses the modules ends: by itself, soon after its last
// work, whatever is still on its way; with every line handed to the logging
// core before a flushLogs in the files; and with a line at the main channel's
// sync level in the file even when it is killed right after the call.
'use strict';
const { test } = require('node:test');
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

test('a process exits by itself within a second of its last work, losing no flushed line',
  async (t) => {
    const cases = [
      ['after its deliveries settled', `
        Promise.all([deliver('1'), deliver('2')]).then(() => {
          m.logcontrol.flushLogs(); lastWork(); });`],
      ['with completions still pending', `
        for (let i = 0; i < 100; ++i) deliver(String(i));
        // Throws while the centre has shown none of them yet (a loaded machine).
        try { m.notifysim.respond('g', { action: 'default' }); } catch {}
        m.logcontrol.flushLogs(); lastWork();`],
      ['calling process.exit with completions still pending', `
        for (let i = 0; i < 100; ++i) deliver(String(i));
        m.logcontrol.flushLogs(); lastWork(); process.exit(0);`],
    ];
    // What node itself takes to end after its last statement (a second under
    // ThreadSanitizer, some milliseconds without), on top of the allowance.
    const plain = await runChild("console.log('last work at ' + Date.now());");
    const baselineMs = plain.exitedAt - Number(/last work at (\d+)/.exec(plain.stdout)[1]);
    t.diagnostic(`a node process that loaded nothing exited ${baselineMs} ms after its last work`);
    for (const [name, ending] of cases) {
      const dir = temporaryDirectory(t, 'exit');
      const child = await runChild(childScript(dir, ending));
      assert.strictEqual(child.status, 0, `${name}: ${child.stderr}`);
      const lastWork = Number(/last work at (\d+)/.exec(child.stdout)[1]);
      const exitMs = child.exitedAt - lastWork;
      t.diagnostic(`${name}: exited ${exitMs} ms after its last work`);
      assert.ok(exitMs < baselineMs + EXIT_WITHIN_MS,
        `${name}: exited ${exitMs} ms after its last work`);
      const refused = filesText(dir, 'kestro-').match(/^E.*Wrong number of argumentsthrown in/gm) || [];
      assert.strictEqual(refused.length, REFUSED_CALLS, name);
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
