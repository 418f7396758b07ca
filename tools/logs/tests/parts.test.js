// The pieces of tools/logs that the core's own files seldom exercise: layouts
// at their edges, file names, level and time options, the trace clock, the
// archive's long names.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const layouts = require('../lib/layouts');
const { Record } = require('../lib/fileReader');
const { parseLogFileName } = require('../lib/logFiles');
const { thresholdRank } = require('../lib/levels');
const { parseTimeOption } = require('../lib/times');
const { traceClockOffset } = require('../lib/traceClock');
const { toolEnv } = require('./support');

const opened = { year: 2025, month: 12, day: 31, hour: 23, minute: 59, second: 59 };
const utc = (text) => Date.parse(text) * 1000;  // whole milliseconds only

function parse(layout, line, channel = 'qsyn') {
  const record = new Record('line', { channel }, line, 0);
  const ctx = { opened, zone: 60, clock: new layouts.SecondClock(), channel };
  const at = layout === 'main' ? layouts.parseMainHeader(line, ctx, record)
    : layout === 'tag' ? layouts.parseTagHeader(line, ctx, record) : layouts.parseTraceLine(line, record);
  return at < 0 ? null : { at, record };
}

test('main layout: header fields, year from the file, zone from the line or the run', () => {
  const cases = [
    // line, [time, level, thread, file, line, message] or null
    ['I1231 23:59:59.000007+0000    42 Sender.cpp:88] hi', [utc('2025-12-31T23:59:59Z') + 7, 'INFO', 42, 'Sender.cpp', 88, 'hi']],
    ['E0101 00:00:01.500000-0130 123456789 a:b.cpp:7] x] y', [utc('2026-01-01T01:30:01Z') + 500000, 'ERROR', 123456789, 'a:b.cpp', 7, 'x] y']],
    ['E0101 00:00:01.5000001-0130 1 a.cpp:7] seven digits', null],
    ['W0102 00:00:00.000000+0000 7 x.cpp:1] ', [utc('2026-01-02T00:00:00Z'), 'WARNING', 7, 'x.cpp', 1, '']],
    ['V0601 12:00:00.000001+0200  1 v.cpp:2] later in the year', [utc('2025-06-01T10:00:00Z') + 1, 'VERBOSE', 1, 'v.cpp', 2, 'later in the year']],
    // The framework's layout has no zone: the run's zone (here +0100) applies.
    ['C1231 10:00:00.000000  1234 main:42] no zone', [utc('2025-12-31T09:00:00Z'), 'CRITICAL', 1234, 'main', 42, 'no zone']],
    ['F1231 10:00:00.000000+0000 1 f.cpp:3] fatal', [utc('2025-12-31T10:00:00Z'), 'FATAL', 1, 'f.cpp', 3, 'fatal']],
    ['X1231 10:00:00.000000+0000 1 f.cpp:3] bad letter', null],
    ['I1231 10:00:00.00000+0000 1 f.cpp:3] short fraction', null],
    ['I1231 10:00:00.000000+0000 f.cpp:3] no thread', null],
    ['I1231 10:00:00.000000+0000 1 f.cpp] no line number', null],
  ];
  for (const [line, expected] of cases) {
    const got = parse('main', line);
    const fields = got && [got.record.time, got.record.level, got.record.thread, got.record.file, got.record.line,
      line.slice(got.at)];
    assert.deepStrictEqual(fields, expected, line);
  }
});

test('sync and rtc layout: the tag read back as far as it goes', () => {
  const cases = [
    ['2024-03-12 14:05:09+0100(src/net/Client.cpp): [W:N:mqtt_client] text', 'qsyn',
      [utc('2024-03-12T13:05:09Z'), 'WARNING', 'src/net/Client.cpp', 'qsyn.N*.mqtt_client', 'text']],
    ['2024-03-12 14:05:09-0000(a (b)): [E::] rtc', 'rtc', [utc('2024-03-12T14:05:09Z'), 'ERROR', 'a (b)', 'rtc', 'rtc']],
    ['2024-03-12 14:05:09+0000(f): [U::x] ', 'qsyn', [utc('2024-03-12T14:05:09Z'), 'INFO', 'f', 'qsyn..x', '']],
    ['2024-03-12 14:05:09+0000(f): [S:D:] s', 'qsyn', [utc('2024-03-12T14:05:09Z'), 'INFO', 'f', 'qsyn.D*', 's']],
    ['2024-03-12 14:05:09+0000(f): [V:D:] v', 'qsyn', [utc('2024-03-12T14:05:09Z'), 'VERBOSE', 'f', 'qsyn.D*', 'v']],
    ['2024-03-12 14:05:09(f): [W::] no zone', 'qsyn', null],
    ['2024-03-12 14:05:09+0000(f): [W:] short tag', 'qsyn', null],
    ['2024-03-12 14:05:09+0000(f): [w::] lower case', 'qsyn', null],
  ];
  for (const [line, channel, expected] of cases) {
    const got = parse('tag', line, channel);
    const r = got?.record;
    assert.deepStrictEqual(got && [r.time, r.level, r.file, r.category, line.slice(got.at)], expected, line);
  }
});

test('trace layout and drop reports', () => {
  assert.deepStrictEqual(['{"pid":1,"tid":22,"name":"a","ph":"B","ts":333},', '{"pid":1,"tid":22,"ts":4}']
    .map((l) => parse('trace', l)?.record).map((r) => [r.ts, r.thread, r.level]), [[333, 22, 'VERBOSE'], [4, 22, 'VERBOSE']]);
  for (const line of ['{"pid":1,"tid":2,error constructing log message: std::bad_alloc: x},',
    '{"pid":1,"tid":2,"ts":},', '{"pid":1,"tid":,"ts":3},', '{"pid":1,"tid":2,"ts":3}x']) {
    assert.strictEqual(parse('trace', line), null, line);
  }
  assert.deepStrictEqual([
    '17 log messages were discarded because the logging rate exceeded the write rate',
    '3 log messages discarded: logging faster than we can write',
    '17 log messages were discarded because the logging rate exceeded the write rate!',
    'log messages were discarded because the logging rate exceeded the write rate',
  ].map(layouts.droppedCount), [17, 3, 0, 0]);
});

test('a category prefix against what a tag keeps of the name', () => {
  // prefix -> whether it can start a name with tag [.:N:mqtt_client] in the qsyn channel
  const network = { initial: 'N', third: 'mqtt_client' };
  const cases = [
    ['q', network, true], ['qsyn', network, true], ['qsyn.', network, true], ['qsyn.Net', network, true],
    ['qsyn.Network.mqtt', network, true], ['qsyn.Network.mqtt_client.more', network, true],
    ['qsyn.Database', network, false], ['qsyn.N.mqtt_channel', network, false], ['rtc', network, false],
    ['qsynx', network, false], ['qsyn.Network.mqtt_client2', network, false],
    ['qsyn', { initial: '', third: '' }, true], ['qsyn.D', { initial: '', third: '' }, false],
    ['qsyn..x', { initial: '', third: 'x' }, true], ['qsyn.Database.x', { initial: 'D', third: '' }, false],
  ];
  for (const [prefix, tag, expected] of cases) {
    assert.strictEqual(layouts.tagMatchesPrefix(prefix, 'qsyn', tag), expected, `${prefix} ${JSON.stringify(tag)}`);
  }
});

test('file names of the core, and others', () => {
  const cases = [
    ['kestro-main-d20240312-t140509-p4242-id77.log', ['kestro', 'main', 4242, '77', 2024, 3, 12, 14, 5, 9]],
    ['trace-my-app-d20240312-t000000-p1-idan-id-p2.log', ['trace', 'my-app', 1, 'an-id-p2', 2024, 3, 12, 0, 0, 0]],
    // A forked child's suffix without the parent's id gets its own in front.
    ['qsyn-main-d20240312-t140509-p99-custom.log', ['qsyn', 'main', 99, null, 2024, 3, 12, 14, 5, 9]],
    ['rtc-main-d20240312-t140509-p5-id.log', ['rtc', 'main', 5, '', 2024, 3, 12, 14, 5, 9]],
    ['trace-viewer.json', null], ['kestro-main-d2024031-t140509-p1-id1.log', null], ['other-main-d20240312-t140509-p1-id1.log', null],
  ];
  for (const [name, expected] of cases) {
    const f = parseLogFileName(name);
    assert.deepStrictEqual(f && [f.channel, f.tag, f.pid, f.user, ...Object.values(f.opened)], expected, name);
  }
});

test('level and time options', () => {
  assert.deepStrictEqual(['v', 'DBG', 'info', 'S', 'a', 'warn', 'Warning', 'E', 'err', 'critical', 'F', 'dfatal', '3500', 'U', 'loud']
    .map(thresholdRank), [1000, 1000, 2000, 2996, 2997, 3000, 3000, 4000, 4000, 5000, 0x7ffffffe, 0x7ffffffe, 3500, undefined, undefined]);
  const now = utc('2024-03-12T12:00:00Z');
  const local = (...fields) => new Date(...fields).getTime() * 1000;
  const cases = [
    ['10m', now - 600e6], ['2h', now - 7200e6], ['1.5d', now - 1.5 * 86400e6], ['30s', now - 30e6],
    ['2024-03-12T14:05:09Z', utc('2024-03-12T14:05:09Z')], ['2024-03-12 14:05:09.25+01:00', utc('2024-03-12T13:05:09.250Z')],
    ['2024-03-12T14:05:09.000007-0230', utc('2024-03-12T16:35:09Z') + 7],
    ['2024-03-12', local(2024, 2, 12)], ['2024-03-12T14:05', local(2024, 2, 12, 14, 5)],
    ['14:05', (() => { const d = new Date(now / 1000); d.setHours(14, 5, 0, 0); return d.getTime() * 1000; })()],
  ];
  for (const [text, expected] of cases) assert.strictEqual(parseTimeOption('since', text, now), expected, text);
  for (const bad of ['yesterday', '10 m', '2024-3-12', '-5m', '2024-03-12T25:00:00Z']) {
    assert.throws(() => parseTimeOption('until', bad, now),
      { name: 'UsageError', message: new RegExp(`^bad time for --until: "${bad}" \\(an ISO time`) }, bad);
  }
});

test('the trace clock: the file\'s last change, else this machine\'s clocks, else its name', () => {
  // A file opened at 100 s whose events span ts 5 s to 9 s: the true offset is 95.3 s.
  const file = { openedAt: 100e6, firstTs: 5e6, lastTs: 9e6 };
  const cases = [
    [{ modifiedAt: 104.3e6 + 200, hostOffset: 0 }, 95.3e6 + 200],   // mtime kept: the write came 200 us after
    [{ modifiedAt: 999e6, hostOffset: 95.3e6 }, 95.3e6],             // copied since, written on this machine
    [{ modifiedAt: 999e6, hostOffset: 7e6 }, 95.5e6],                // copied from elsewhere: mid-second
    [{ modifiedAt: 50e6, hostOffset: 7e6 }, 95.5e6],                 // a change before its own events: not used
  ];
  for (const [given, expected] of cases) assert.strictEqual(traceClockOffset({ ...file, ...given }), expected, JSON.stringify(given));
});

test('the archive holds long names and a file that changed while it was packed', async (t) => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'logs-tar-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  const long = `${'folder-'.repeat(12)}/kestro-main-d20240312-t140509-p1-id${'\u00e9'.repeat(40)}.log`;
  fs.writeFileSync(path.join(dir, 'in.log'), 'x'.repeat(1500));
  // In a process of its own, as the tool writes archives: without the
  // sanitizer runtime, which reports node's own compression threads.
  const write = spawnSync(process.execPath, ['-e', `(async () => {
    const { TarGzWriter } = require(${JSON.stringify(require.resolve('../lib/tarGz'))});
    const archive = new TarGzWriter(${JSON.stringify(path.join(dir, 'out.tar.gz'))});
    await archive.addFile(${JSON.stringify(long)}, ${JSON.stringify(path.join(dir, 'in.log'))});
    await archive.addData('short/trace-viewer.json', Buffer.from('{"traceEvents":[]}\\n'));
    await archive.finish();
  })()`], { env: toolEnv(), encoding: 'utf8' });
  assert.strictEqual(write.status, 0, write.stderr);
  fs.mkdirSync(path.join(dir, 'x'));
  const tar = spawnSync('tar', ['-xzf', path.join(dir, 'out.tar.gz'), '-C', path.join(dir, 'x')], { encoding: 'utf8' });
  assert.strictEqual(tar.status, 0, tar.stderr);
  assert.strictEqual(fs.readFileSync(path.join(dir, 'x', long), 'utf8'), 'x'.repeat(1500));
  assert.strictEqual(fs.readFileSync(path.join(dir, 'x', 'short/trace-viewer.json'), 'utf8'), '{"traceEvents":[]}\n');
});
