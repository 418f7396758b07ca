// tools/logs on a folder written by the real core: two application processes
// (logcontrol.node, bootclock.node) log on every channel with small rotation
// limits, one of them moves to a new user id. The tool must give back every
// line once, in time order and tagged with its file, and filter, sum up and
// pack exactly what it is asked for.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { Writer, runTool, runJson, folderLines, sleep, kTool, toolEnv, sanitized } = require('./support');

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'logs-tool-'));
const kLevels = ['VERBOSE', 'INFO', 'WARNING', 'ERROR', 'CRITICAL', 'FATAL'];
let a;
let b;
let all;  // every JSON record

// Application lines of round `n`: main, sync engine (two categories), rtc.
function lines(n) {
  return [['app.ui', 'INFO', `seq ${n}`], ['qsyn.Network.mqtt_client', 'WARN', `sync ${n}`],
    ['qsyn.Database', 'dbg', `db ${n}`], ['rtc', n % 3 === 0 ? 'ERR' : 'dbg', `rtc ${n}`]];
}

before(async () => {
  a = await Writer.start(dir, '1001', { maxFileSize: 400 });
  b = await Writer.start(dir, '2001', { maxFileSize: 400 });
  let n = 0;
  for (let round = 0; round < 2; ++round) {
    for (let k = 0; k < 6; ++k, ++n) await (k % 2 === 0 ? a : b).log(...lines(n));
    // The next rotation opens a file with another second in its name.
    if (round === 0) await sleep(1100);
  }
  await a.log(['app.ui', 'INFO', 'first\nsecond'], ['qsyn.Database', 'INFO3', 'q first\nq second']);
  await a.send({ op: 'user', user: '1002' });
  await a.log(['app.ui', 'WARN', `seq ${n}`]);
  await b.send({ op: 'bootclock' });
  await a.stop();
  await b.stop();
  all = runJson([dir]);
});

after(() => {
  a?.kill();
  b?.kill();
  fs.rmSync(dir, { recursive: true, force: true });
});

test('every line of every file, once, in time order, tagged with its file', () => {
  const files = folderLines(dir);
  const names = Object.keys(files);
  // Rotation, two pids, the user-id move: several files per channel.
  assert.ok(names.filter((f) => f.startsWith('kestro-') && f.endsWith(`-p${a.pid}-id1001.log`)).length >= 2, names.join(' '));
  assert.ok(names.some((f) => f.endsWith(`-p${a.pid}-id1002.log`)));
  assert.ok(names.some((f) => f.startsWith('trace-') && f.includes(`-p${b.pid}-`)));

  // Text: "<date> <time> <channel> p<pid> id<user> <line as written>".
  const run = runTool([dir]);
  assert.strictEqual(run.status, 0, run.stderr);
  const shown = run.stdout.split('\n').slice(0, -1).map((l) => /^\S+ \S+ (\S+) +p(\d+) id(\S+) (.*)$/.exec(l));
  const expected = Object.entries(files).flatMap(([name, fileLines]) =>
    fileLines.map((line) => `${name.split('-')[0]} ${/-p(\d+)-id(\d+)\.log$/.exec(name).slice(1).join(' ')} ${line}`));
  assert.deepStrictEqual(shown.map((m) => m.slice(1).join(' ')).sort(), expected.sort());

  // JSON: times never go back; the main log's lines in the order they were logged.
  const times = all.map((r) => r.time);
  assert.deepStrictEqual(times, [...times].sort());
  assert.ok(times.every((t) => /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}Z$/.test(t)));
  const seq = all.filter((r) => r.channel === 'kestro' && /^seq \d+$/.test(r.message)).map((r) => Number(r.message.slice(4)));
  assert.deepStrictEqual(seq, Array.from({ length: 13 }, (_, i) => i));
  for (const r of all) assert.strictEqual(r.user, { [a.pid]: r.user === '1002' ? '1002' : '1001', [b.pid]: '2001' }[r.pid]);
});

test('a message of several lines is one record with its text as written', () => {
  const find = (channel, message) => all.filter((r) => r.channel === channel && r.message === message);
  assert.deepStrictEqual(find('kestro', 'first\nsecond').map((r) => [r.level, r.file, r.line, r.thread]),
    [['INFO', 'javascript', 0, a.pid]]);
  assert.deepStrictEqual(find('qsyn', 'q first\nq second').map((r) => [r.level, r.category, r.file, r.line]),
    [['INFO', 'qsyn.D*', 'javascript', null]]);
  const trace = all.find((r) => r.channel === 'trace' && r.pid === b.pid);
  assert.deepStrictEqual(Object.keys(trace),
    ['time', 'channel', 'pid', 'user', 'level', 'category', 'thread', 'file', 'line', 'message']);
  assert.match(trace.message, /^\{"pid":\d+,"tid":\d+,"name":"\w+","id":"\d+","ph":"[BE]","cat":"kestro","ts":\d+\}$/);
});

test('filters: the output is the whole output less what the filter leaves out', () => {
  const atSeq = (n) => all.find((r) => r.message === `seq ${n}`).time;
  const cases = [
    [['--level', 'WARN'], (r) => kLevels.indexOf(r.level) >= 2],
    [['--level', 'e'], (r) => kLevels.indexOf(r.level) >= 3],
    [['--level', 'VERBOSE'], () => true],
    [['--category', 'qsyn.Network'], (r) => r.category === 'qsyn.N*.mqtt_client'],
    [['--category', 'qsyn.Database', '--category', 'rtc'], (r) => r.category === 'qsyn.D*' || r.category === 'rtc'],
    [['--pid', String(b.pid)], (r) => r.pid === b.pid],
    [['--user', '1002'], (r) => r.user === '1002'],
    [['--user', '2001', '--grep', 'seq 1'], (r) => r.user === '2001' && r.message.includes('seq 1')],
    [['--since', atSeq(4), '--until', atSeq(8)], (r) => r.time >= atSeq(4) && r.time <= atSeq(8)],
  ];
  for (const [args, keep] of cases) {
    const expected = all.filter(keep);
    assert.ok(expected.length > 0, args.join(' '));
    assert.deepStrictEqual(runJson([dir, ...args]), expected, args.join(' '));
  }
});

test('summary: lines and time span per channel and level', () => {
  const summary = JSON.parse(runTool([dir, '--summary', '--json']).stdout);
  const rows = new Map();
  for (const r of all) {
    const key = `${r.channel} ${r.level}`;
    const row = rows.get(key) ?? { lines: 0, first: r.time, last: r.time };
    rows.set(key, { lines: row.lines + 1, first: row.first, last: r.time });
  }
  assert.deepStrictEqual(new Map(summary.levels.map((r) => [`${r.channel} ${r.level}`,
    { lines: r.lines, first: r.first, last: r.last }])), rows);
  assert.strictEqual(summary.files, Object.keys(folderLines(dir)).length);
  assert.deepStrictEqual([summary.dropped, summary.droppedTotal], [[], 0]);
  const text = runTool([dir, '--summary', '--level', 'ERR']).stdout.split('\n');
  assert.match(text[0], /^channel +level +lines +first +last$/);
  assert.match(text[1], /^kestro +ERROR +\d+ +\d{4}-\d\d-\d\d [\d:.]{15} +\d{4}-\d\d-\d\d [\d:.]{15}$/);
  assert.ok(text.includes('dropped: none'));
});

test('drop reports are added up and never filtered away', async (t) => {
  const floodDir = fs.mkdtempSync(path.join(os.tmpdir(), 'logs-drops-'));
  t.after(() => fs.rmSync(floodDir, { recursive: true, force: true }));
  const writer = await Writer.start(floodDir, '7', { trace: false });
  const { dropped } = await writer.send({ op: 'flood' });
  await writer.stop();
  if (!dropped && sanitized) {
    t.skip('the sanitized core writes faster than its instrumented callers log: nothing dropped');
    return;
  }
  assert.ok(dropped, 'the core reported no drop');
  const reports = Object.values(folderLines(floodDir)).flat()
    .map((l) => /^(\d+) log messages were discarded because/.exec(l)).filter(Boolean);
  const total = reports.reduce((sum, m) => sum + Number(m[1]), 0);
  const summary = JSON.parse(runTool([floodDir, '--summary', '--json']).stdout);
  assert.deepStrictEqual(summary.dropped, [{ channel: 'kestro', reports: reports.length, messages: total }]);
  assert.strictEqual(summary.droppedTotal, total);
  assert.match(runTool([floodDir, '--summary']).stdout,
    new RegExp(`dropped: kestro ${total} messages in ${reports.length} reports?\ndropped in all: ${total} messages; the files are incomplete\n`));
  const shown = runJson([floodDir, '--level', 'ERR', '--grep', 'nothing like it']);
  assert.deepStrictEqual(shown.map((r) => [r.level, r.message]), reports.map((m) => [null, m.input]));
});

test('pack: the chosen files whole, and their trace-viewer file', (t) => {
  const out = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'logs-pack-')), 'bug-1234.tar.gz');
  t.after(() => fs.rmSync(path.dirname(out), { recursive: true, force: true }));
  const run = runTool([dir, '--pack', out, '--user', '1002']);
  assert.strictEqual(run.status, 0, run.stderr);
  const chosen = Object.keys(folderLines(dir)).filter((f) => f.endsWith('-id1002.log')).sort();
  assert.match(run.stdout, new RegExp(`^${out}: ${chosen.length} files \\(\\d+ bytes\\) and trace-viewer.json \\(\\d+ events\\) in bug-1234/\n$`));
  const unpacked = path.join(path.dirname(out), 'x');
  fs.mkdirSync(unpacked);
  const tar = spawnSync('tar', ['-xzf', out, '-C', unpacked], { encoding: 'utf8' });
  assert.strictEqual(tar.status, 0, tar.stderr);
  const folder = path.join(unpacked, 'bug-1234');
  assert.deepStrictEqual(fs.readdirSync(folder).sort(), [...chosen, 'trace-viewer.json'].sort());
  for (const name of chosen) {
    assert.ok(fs.readFileSync(path.join(folder, name)).equals(fs.readFileSync(path.join(dir, name))), name);
  }
  const traceLines = chosen.filter((f) => f.startsWith('trace-')).flatMap((f) => folderLines(dir)[f]);
  const viewer = JSON.parse(fs.readFileSync(path.join(folder, 'trace-viewer.json'), 'utf8'));
  assert.deepStrictEqual(viewer.traceEvents, traceLines.map((l) => JSON.parse(l.slice(0, -1))));

  const none = runTool([dir, '--pack', out, '--pid', '1']);
  assert.deepStrictEqual([none.status, none.stderr], [1, 'logs: no log file matches, nothing packed\n']);
});

test('bad input: a clear error and exit status 2', (t) => {
  const broken = fs.mkdtempSync(path.join(os.tmpdir(), 'logs-broken-'));
  t.after(() => fs.rmSync(broken, { recursive: true, force: true }));
  fs.mkdirSync(path.join(broken, 'kestro-main-d20260312-t090000-p1-id1.log'));
  const hint = '(node tools/logs --help lists the options)\n';
  const cases = [
    [['/no/such/dir'], 'logs: no such log directory: /no/such/dir\n'],
    [[path.join(kTool, 'index.js')], `logs: not a directory: ${path.join(kTool, 'index.js')}\n`],
    [[broken], `logs: cannot read ${path.join(broken, 'kestro-main-d20260312-t090000-p1-id1.log')}: not a regular file\n`],
    [[], `logs: no log directory given\n${hint}`],
    [[dir, '--colour'], `logs: unknown option --colour\n${hint}`],
    [[dir, '--level'], `logs: option --level needs a value\n${hint}`],
    [[dir, '--level', 'loud'], `logs: unknown level for --level: "loud"\n${hint}`],
    [[dir, '--pid', 'me'], `logs: --pid takes a process id, got "me"\n${hint}`],
    [[dir, '--since', 'monday'], 'logs: bad time for --since: "monday" (an ISO time such as 2024-03-12T14:05:09, ' +
      `a time of day such as 14:05, or a span ago such as 10m, 2h, 1d)\n${hint}`],
    [[dir, '--follow', '--summary'], `logs: --follow and --summary do not go together\n${hint}`],
  ];
  for (const [args, message] of cases) {
    const run = runTool(args);
    assert.deepStrictEqual([run.status, run.stderr, run.stdout], [2, message, ''], args.join(' '));
  }
});

test('a line no layout reads is shown as it is, where it stands', (t) => {
  const copy = fs.mkdtempSync(path.join(os.tmpdir(), 'logs-odd-'));
  t.after(() => fs.rmSync(copy, { recursive: true, force: true }));
  const name = Object.keys(folderLines(dir)).find((f) => f.startsWith('kestro-') && f.includes(`-p${b.pid}-`));
  const original = fs.readFileSync(path.join(dir, name), 'latin1').split('\n');
  // A stray line after the first, bytes that are not UTF-8, a half-written last line.
  const odd = [original[0], 'not a log line \xff\xfe', ...original.slice(1, -1), 'W0312 09:00:0'];
  fs.writeFileSync(path.join(copy, name), Buffer.from(odd.join('\n'), 'latin1'));
  const text = runTool([copy]).stdout.split('\n').slice(0, -1).map((l) => l.replace(/^\S+ \S+ kestro +p\d+ id\d+ /, ''));
  assert.deepStrictEqual(text, odd);
  const records = runJson([copy]);
  assert.deepStrictEqual(runJson([copy, '--level', 'CRITICAL']).map((r) => [r.level, r.message]),
    [[null, Buffer.from('not a log line \xff\xfe', 'latin1').toString('utf8')], [null, 'W0312 09:00:0']]);
  assert.strictEqual(records[1].time, records[0].time);
  assert.strictEqual(records.at(-1).time, records.at(-2).time);
});

test('colours by level on a terminal only, and never with NO_COLOR', (t) => {
  const script = spawnSync('script', ['--version']);
  if (script.error) {
    t.skip('no script(1) to give the tool a terminal');
    return;
  }
  const onTerminal = (env) => spawnSync('script', ['-qec', `"${process.execPath}" "${kTool}" "${dir}" --level W`, '/dev/null'],
    { encoding: 'utf8', env: toolEnv(env), stdio: ['ignore', 'pipe', 'pipe'] }).stdout;
  const coloured = onTerminal({ NO_COLOR: '' });
  assert.match(coloured, /^\S+ \S+ kestro +p\d+ id\d+ \x1b\[33mW\d{4} .*\] seq 12\x1b\[0m\r$/m);
  assert.match(coloured, /^\S+ \S+ rtc +p\d+ id\d+ \x1b\[31m.*\[E::\] rtc 0\x1b\[0m\r$/m);
  assert.doesNotMatch(onTerminal({ NO_COLOR: '1' }), /\x1b/);
  assert.doesNotMatch(runTool([dir, '--level', 'W']).stdout, /\x1b/);
});
