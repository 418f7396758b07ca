// A process that aborts loses none of the lines it had handed to the logging
// core: every line logged from JavaScript and every line an addon logged is in
// the main file, followed by the crash report, and the process still ends by
// the signal.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const { modulePaths, runChild, temporaryDirectory, filesText, sanitized } = require('./support');

const JS_LINES = sanitized ? 2000 : 10000;
const REFUSED_CALLS = 50;

test('process.abort() after lines from logcontrol and the notifications addon loses none',
  async (t) => {
    const dir = temporaryDirectory(t, 'crash');
    const child = await runChild(`
      const lc = require(${JSON.stringify(modulePaths.logcontrol)});
      const addon = require(${JSON.stringify(modulePaths.notifyaddon)});
      lc.initLogging(${JSON.stringify(dir)}, 'main', '1', false);
      for (let i = 0; i < ${JS_LINES}; ++i) lc.log('app', 'INFO', 'js ' + i);
      for (let i = 0; i < ${REFUSED_CALLS}; ++i) {
        try { addon.deliverNotification(i); } catch {}
      }
      process.abort();`);
    assert.strictEqual(child.signal, 'SIGABRT', child.stderr);
    const text = filesText(dir, 'kestro-');
    const logged = text.match(/^I.* javascript:0\] js \d+$/gm) || [];
    assert.deepStrictEqual(logged.map((line) => Number(/js (\d+)$/.exec(line)[1])),
      Array.from({ length: JS_LINES }, (_, i) => i));
    const refused = text.match(/^E.*Wrong number of argumentsthrown in/gm) || [];
    assert.strictEqual(refused.length, REFUSED_CALLS);
    const pid = /-p(\d+)-id1\.log$/.exec(fs.readdirSync(dir).find((f) => f.startsWith('kestro-')))[1];
    const report = new RegExp(`^F.* CrashHandler\\.cpp:\\d+\\] Fatal signal SIGABRT \\(6\\) in process ${pid}, thread ${pid}; backtrace:$`, 'm');
    assert.match(text, report);
    // The report comes last.
    assert.match(text.slice(text.search(report)), /^(F.* CrashHandler\.cpp:\d+\] .*\n)+$/);
    t.diagnostic(`${logged.length} lines logged from JavaScript and ${refused.length} by the addon found, then the report`);
  });
