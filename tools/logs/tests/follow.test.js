// tools/logs --follow on files the real core is writing: each new line must
// be printed by the first poll that begins after it was written (polls are a
// quarter of a second apart), also when it lands in a new file: after a
// rotation, a user-id move, a new run. Timing is read from the tool's own
// poll reports (KESTRO_LOGS_POLLS), so a loaded machine only slows the test.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const readline = require('node:readline');
const { Writer, sleep, kTool, toolEnv } = require('./support');

const kDeadlineMs = 60000;

async function waitFor(condition, what) {
  const end = Date.now() + kDeadlineMs;
  while (!condition()) {
    if (Date.now() > end) throw new Error(`still waiting for ${what} after ${kDeadlineMs} ms`);
    await sleep(20);
  }
}

function startTool(dir) {
  const child = spawn(process.execPath, [kTool, dir, '--follow', '--json', '--grep', 'mark '],
    { env: toolEnv({ KESTRO_LOGS_POLLS: '1' }), stdio: ['ignore', 'pipe', 'pipe'] });
  const tool = { child, records: [], polls: [], errors: '' };
  readline.createInterface({ input: child.stdout }).on('line', (l) => tool.records.push(JSON.parse(l)));
  readline.createInterface({ input: child.stderr }).on('line', (l) => {
    const poll = /^poll (\d+) (\d+)$/.exec(l);
    if (poll) tool.polls.push({ start: Number(poll[1]), count: Number(poll[2]) }); else tool.errors += `${l}\n`;
  });
  tool.exited = new Promise((resolve) => child.on('exit', (status, signal) => resolve({ status, signal })));
  return tool;
}

test('new lines appear within a poll of being written, across files', async (t) => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'logs-follow-'));
  const writers = [];
  let tool;
  t.after(() => {
    tool?.child.kill('SIGKILL');
    for (const w of writers) w.kill();
    fs.rmSync(dir, { recursive: true, force: true });
  });
  const a = await Writer.start(dir, '1001', { maxFileSize: 300 });
  writers.push(a);
  await a.log(['app.ui', 'INFO', 'mark 0, before the tool started']);
  tool = startTool(dir);
  // The past comes before the first poll.
  await waitFor(() => tool.polls.length > 0, 'the first poll');
  // (Polls count what they print: the past's one line comes before them.)
  assert.deepStrictEqual(tool.records.map((r) => r.message), ['mark 0, before the tool started']);

  const filesWith = (text) => fs.readdirSync(dir).filter((n) => fs.readFileSync(path.join(dir, n), 'utf8').includes(text));
  const steps = [
    ['mark 1', 1, () => a.log(['app.ui', 'INFO', 'mark 1'])],
    // A second later, so that the rotation after the filler opens a file of another name.
    ['mark 2, after a rotation', 1, async () => {
      await sleep(1100);
      await a.log(['app.ui', 'INFO', `filler ${'x'.repeat(400)}`]);
      return a.log(['app.ui', 'INFO', 'mark 2, after a rotation']);
    }],
    ['mark 3, after a user-id move', 1, async () => {
      await a.send({ op: 'user', user: '1002' });
      return a.log(['app.ui', 'WARN', 'mark 3, after a user-id move']);
    }],
    ['mark 4, from a new run', 1, async () => {
      writers.push(await Writer.start(dir, '3001'));
      return writers[1].log(['app.ui', 'INFO', 'mark 4, from a new run']);
    }],
    // The sync engine's file, and the main file the warning reaches too.
    ['mark 5, on two channels', 2, () => a.log(['qsyn.Database', 'WARN', 'mark 5, on two channels'])],
  ];
  let expected = 1;
  for (const [mark, count, write] of steps) {
    const { at } = await write();
    expected += count;
    await waitFor(() => tool.polls.some((p) => p.start > at), `a poll after ${mark}`);
    const first = tool.polls.find((p) => p.start > at);
    const printed = tool.polls.filter((p) => p.start <= first.start).reduce((n, p) => n + p.count, 1);
    assert.strictEqual(printed, expected, `${mark}: printed by the first poll that began after it was written`);
    await waitFor(() => tool.records.length >= expected, mark);
    assert.ok(tool.records.slice(expected - count).every((r) => r.message === mark), mark);
  }
  assert.deepStrictEqual(tool.records.slice(-2).map((r) => r.channel).sort(), ['kestro', 'qsyn']);
  assert.deepStrictEqual(tool.records.map((r) => r.user), ['1001', '1001', '1001', '1002', '3001', '1002', '1002']);
  assert.notDeepStrictEqual(filesWith('mark 1'), filesWith('mark 2, after a rotation'));

  const gaps = tool.polls.slice(1).map((p, i) => p.start - tool.polls[i].start).sort((x, y) => x - y);
  assert.ok(gaps[gaps.length >> 1] <= 500, `median time between polls ${gaps[gaps.length >> 1]} ms`);

  tool.child.kill('SIGINT');
  assert.deepStrictEqual(await tool.exited, { status: 0, signal: null });
  assert.strictEqual(tool.errors, '');
  for (const w of writers) await w.stop();
});
