#!/usr/bin/env node
// Writes a log directory like the core's after some days of use, for the
// benchmark of tools/logs: every channel in its own layout, rotation at the
// core's 5000000 bytes (trace files by user id only), several runs (pids)
// each moving from one user id to another, now and then a message of several
// lines and a drop report.
//
//   node bench/logs/generate-logs.js <directory> [--bytes=N]   (default 1e9)
//
// Prints the number of files, lines and bytes written. Deterministic for a
// given size (its own seeded generator); times start on 2026-03-12 09:00
// local time.
'use strict';
const fs = require('node:fs');
const path = require('node:path');

const kRotateAt = 5000000;
const kFlushAt = 1 << 20;
const kRuns = [{ pid: 41207, users: ['0', '1001'] }, { pid: 52318, users: ['1001', '1002'] },
  { pid: 60433, users: ['1002'] }, { pid: 71544, users: ['1002', '1003'] }];
const kShares = [['kestro', 0.45], ['qsyn', 0.25], ['rtc', 0.05], ['trace', 0.25]];

let seed = 0x2545f491;
function random() {
  seed = (seed + 0x6d2b79f5) >>> 0;
  let t = seed;
  t = Math.imul(t ^ (t >>> 15), t | 1);
  t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
  return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
}
const below = (n) => Math.floor(random() * n);
const pick = (list) => list[below(list.length)];
const pad = (n, w = 2) => String(n).padStart(w, '0');

const kMainTexts = [
  () => `sending message ${below(100000)} to conversation ${below(500)} (${below(4000)} bytes)`,
  () => `GET /v2/conversations?since=${below(1e9)} 200 in ${below(900)} ms`,
  () => `window ${below(8)} focused, ${below(40)} unread`,
  () => `notification ${below(9999)} delivered: null`,
  () => `Setting up environment 0x${below(2 ** 31).toString(16)} for async callbacks`,
  () => `retry ${below(5)} of 5 for upload ${below(1e6)}: connection reset by peer`,
  () => `cache hit ratio ${below(100)}% over ${below(100000)} lookups, ${below(2000)} evictions`,
];
const kFiles = ['Sender.cpp:88', 'Threading.cpp:61', 'javascript:0', 'Boundary.cpp:42',
  'UNUserNotificationHelper.mm:214', 'UploadQueue.cpp:377', 'Cache.cpp:19'];
const kTagCategories = [['N', 'mqtt_client'], ['N', 'mqtt_channel'], ['D', ''], ['S', 'engine'], ['', '']];
const kSyncTexts = [
  () => `publish topic=/u/${below(9999)}/inbox qos=1 id=${below(1e5)}`,
  () => `synced ${below(50)} conversations in ${below(3000)} ms`,
  () => `delta ${below(1e9)}: ${below(300)} messages, ${below(20)} reactions`,
  () => `keepalive sent, rtt ${below(400)} ms`,
];
const kRtcTexts = [
  () => `ice candidate ${below(20)} gathered: udp ${below(255)}.${below(255)}.${below(255)}.${below(255)}:${below(65535)}`,
  () => `bitrate ${below(3000)} kbps, loss ${below(10)}.${below(10)}%`,
  () => `call ${below(1e6)} state connected -> held`,
];
const kTraceNames = ['deliverNotification', 'GetCXXString', 'CreateString', 'runQueuedWork',
  'scheduleAsyncWork', 'napi_type_check', 'getNotificationSettings'];

function mainLevel() {
  const r = random();
  return r < 0.15 ? 'V' : r < 0.85 ? 'I' : r < 0.95 ? 'W' : 'E';
}

function tagLevel() {
  const r = random();
  return r < 0.3 ? 'U' : r < 0.45 ? 'V' : r < 0.75 ? 'S' : r < 0.9 ? 'A' : r < 0.97 ? 'W' : 'E';
}

function zoneText(date) {
  const east = -date.getTimezoneOffset();
  const abs = Math.abs(east);
  return `${east < 0 ? '-' : '+'}${pad(Math.floor(abs / 60))}${pad(abs % 60)}`;
}

// One channel of one run for one user: its current file and what waits to be
// written into it.
class ChannelFile {
  constructor(dir, channel, pid, user, stats) {
    Object.assign(this, { dir, channel, pid, user, stats, fd: null, size: 0, pieces: [], pending: 0 });
  }

  write(text, micros) {
    if (this.fd === null || (this.channel !== 'trace' && this.size >= kRotateAt)) this.open(micros);
    this.pieces.push(text);
    this.pending += text.length;
    this.size += text.length;
    this.stats.bytes += text.length;
    if (this.pending >= kFlushAt) this.flush();
  }

  open(micros) {
    this.close();
    const d = new Date(micros / 1000);
    const stamp = `d${d.getFullYear()}${pad(d.getMonth() + 1)}${pad(d.getDate())}-t${pad(d.getHours())}${pad(d.getMinutes())}${pad(d.getSeconds())}`;
    const name = `${this.channel}-main-${stamp}-p${this.pid}-id${this.user}.log`;
    this.fd = fs.openSync(path.join(this.dir, name), 'a');
    this.size = 0;
    this.stats.files += 1;
  }

  flush() {
    if (this.pieces.length === 0) return;
    fs.writeSync(this.fd, this.pieces.join(''));
    this.pieces = [];
    this.pending = 0;
  }

  close() {
    if (this.fd === null) return;
    this.flush();
    fs.closeSync(this.fd);
    this.fd = null;
  }
}

// The lines one message of a channel gives at `micros`.
function mainLines(micros, threads) {
  const d = new Date(micros / 1000);
  const header = `${mainLevel()}${pad(d.getMonth() + 1)}${pad(d.getDate())} ${pad(d.getHours())}:` +
    `${pad(d.getMinutes())}:${pad(d.getSeconds())}.${pad(micros % 1e6, 6)}${zoneText(d)} ` +
    `${String(pick(threads)).padStart(5)} ${pick(kFiles)}] `;
  const parts = random() < 0.01 ? ['exception caught', ...Array.from({ length: 1 + below(3) },
    (_, i) => `  #${i} 0x${below(2 ** 31).toString(16)} in frame ${pick(kTraceNames)}`)] : [pick(kMainTexts)()];
  return parts.map((p) => `${header}${p}\n`);
}

function tagLines(micros, channel) {
  const d = new Date(micros / 1000);
  const [initial, third] = channel === 'rtc' ? ['', ''] : pick(kTagCategories);
  const text = channel === 'rtc' ? pick(kRtcTexts)() : pick(kSyncTexts)();
  const extra = random() < 0.01 ? `\n  payload: {"n":${below(100)}}` : '';
  return [`${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())} ${pad(d.getHours())}:` +
    `${pad(d.getMinutes())}:${pad(d.getSeconds())}${zoneText(d)}(src/${channel}/Engine.cpp): ` +
    `[${tagLevel()}:${initial}:${third}] ${text}${extra}\n`];
}

function traceLines(micros, pid, threads, bootMicros) {
  const name = pick(kTraceNames);
  const id = `${below(2 ** 31)}${below(2 ** 31)}`;
  const tid = pick(threads);
  const ts = micros - bootMicros;
  return ['B', 'E'].map((ph, i) => `{"pid":${pid},"tid":${tid},"name":"${name}","id":"${id}",` +
    `"ph":"${ph}","cat":"kestro","ts":${ts + i * below(50)}},\n`);
}

function generate(dir, totalBytes) {
  const stats = { files: 0, lines: 0, bytes: 0 };
  let micros = new Date(2026, 2, 12, 9, 0, 0).getTime() * 1000;
  const perRun = totalBytes / kRuns.length;
  for (const run of kRuns) {
    const threads = [run.pid, run.pid + 3, run.pid + 7, run.pid + 12, run.pid + 30];
    const bootMicros = micros - 3600e6 * (1 + below(48));
    const runEnd = stats.bytes + perRun;
    for (const [u, user] of run.users.entries()) {
      const files = Object.fromEntries(kShares.map(([c]) => [c, new ChannelFile(dir, c, run.pid, user, stats)]));
      const userEnd = stats.bytes + (runEnd - stats.bytes) / (run.users.length - u);
      let sinceDrop = 0;
      while (stats.bytes < userEnd) {
        micros += below(1500);
        const r = random();
        let acc = 0;
        const channel = kShares.find(([, share]) => (acc += share) > r)?.[0] ?? 'trace';
        const lines = channel === 'kestro' ? mainLines(micros, threads)
          : channel === 'trace' ? traceLines(micros, run.pid, threads, bootMicros) : tagLines(micros, channel);
        if (channel !== 'trace' && ++sinceDrop > 200000) {
          sinceDrop = 0;
          lines.push(`${1 + below(500)} log messages were discarded because the logging rate exceeded the write rate\n`);
        }
        for (const line of lines) files[channel].write(line, micros);
        stats.lines += lines.reduce((n, l) => n + l.split('\n').length - 1, 0);
      }
      for (const file of Object.values(files)) file.close();
    }
    micros += 600e6;
  }
  return stats;
}

if (require.main === module) {
  const dir = process.argv[2];
  const bytesArg = process.argv.find((a) => a.startsWith('--bytes='));
  if (dir === undefined || dir.startsWith('--')) {
    console.error('usage: generate-logs.js <directory> [--bytes=N]');
    process.exit(2);
  }
  fs.mkdirSync(dir, { recursive: true });
  const stats = generate(dir, bytesArg ? Number(bytesArg.slice(8)) : 1e9);
  console.log(JSON.stringify(stats));
}

module.exports = { generate };
