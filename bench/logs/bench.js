#!/usr/bin/env node
// The log reader (tools/logs) on a folder of about 1 GB in the core's layouts
// (generate-logs.js), beside cat and grep on the same files, in one run:
//
//   node bench/logs/bench.js [--dir=D] [--bytes=N] [--repetitions=R]
//
// Without --dir the folder is generated in the system's temporary directory
// and removed at the end. Prints the load, then per case the wall time of
// each repetition, the best, the processor time (with GNU time installed) and
// lines per second (lines of the folder over the best time), as a Markdown
// table. Output goes to /dev/null.
'use strict';
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { generate } = require('./generate-logs');

const tool = path.join(__dirname, '..', '..', 'tools', 'logs');

function option(name, fallback) {
  const arg = process.argv.find((a) => a.startsWith(`--${name}=`));
  return arg === undefined ? fallback : arg.slice(name.length + 3);
}

// GNU time, when installed, gives each run's processor time (user + system),
// which the other engineers' load changes little.
const kTime = fs.existsSync('/usr/bin/time') ? '/usr/bin/time' : null;

// {wall, cpu (null without GNU time)} in seconds.
function timed(command, args) {
  const devNull = fs.openSync('/dev/null', 'w');
  const argv = kTime === null ? [command, ...args] : [kTime, '-f', 'cpu %U %S', command, ...args];
  const start = process.hrtime.bigint();
  const run = spawnSync(argv[0], argv.slice(1), { stdio: ['ignore', devNull, 'pipe'], encoding: 'utf8' });
  const wall = Number(process.hrtime.bigint() - start) / 1e9;
  fs.closeSync(devNull);
  if (run.status !== 0 && !(command === 'grep' && run.status === 1)) {
    throw new Error(`${command} ${args.join(' ')}: exit ${run.status}\n${run.stderr}`);
  }
  const cpu = /cpu ([\d.]+) ([\d.]+)\s*$/.exec(run.stderr);
  return { wall, cpu: cpu === null ? null : Number(cpu[1]) + Number(cpu[2]) };
}

function main() {
  const given = option('dir', null);
  const dir = given ?? fs.mkdtempSync(path.join(os.tmpdir(), 'logs-bench-'));
  const repetitions = Number(option('repetitions', 2));
  try {
    if (given === null) generate(dir, Number(option('bytes', 1e9)));
    const files = fs.readdirSync(dir).filter((n) => n.endsWith('.log')).map((n) => path.join(dir, n));
    let lines = 0;
    let bytes = 0;
    for (const file of files) {
      const text = fs.readFileSync(file, 'latin1');
      bytes += text.length;
      for (let i = text.indexOf('\n'); i >= 0; i = text.indexOf('\n', i + 1)) ++lines;
    }
    const cases = [
      ['cat (reading only)', 'cat', files],
      ['grep -F conversation (a filter in C)', 'grep', ['-h', '-F', 'conversation', ...files]],
      ['logs: merge, text', process.execPath, [tool, dir]],
      ['logs: merge, --level WARN --grep conversation', process.execPath, [tool, dir, '--level', 'WARN', '--grep', 'conversation']],
      ['logs: merge, --json', process.execPath, [tool, dir, '--json']],
      ['logs: --summary', process.execPath, [tool, dir, '--summary']],
    ];
    console.log(`${files.length} files, ${(bytes / 1e6).toFixed(0)} MB, ${lines} lines; ` +
      `load average at the start ${os.loadavg().map((l) => l.toFixed(1)).join(' ')}, ${os.cpus().length} cores`);
    const times = cases.map(() => []);
    for (let r = 0; r < repetitions; ++r) {
      cases.forEach(([, command, args], i) => times[i].push(timed(command, args)));
    }
    console.log('\n| case | wall s (each run) | best wall s | lines/s (best wall) | processor s (best) | lines/s (processor) |');
    console.log('|---|---|---|---|---|---|');
    cases.forEach(([name], i) => {
      const best = Math.min(...times[i].map((t) => t.wall));
      const cpu = times[i].every((t) => t.cpu !== null) ? Math.min(...times[i].map((t) => t.cpu)) : null;
      const rate = (seconds) => `${(lines / Math.max(seconds, 0.01) / 1e6).toFixed(2)} M`;
      console.log(`| ${name} | ${times[i].map((t) => t.wall.toFixed(2)).join(', ')} | ${best.toFixed(2)} | ` +
        `${rate(best)} | ${cpu === null ? '-' : cpu.toFixed(2)} | ${cpu === null ? '-' : rate(cpu)} |`);
    });
    console.log(`\nload average at the end ${os.loadavg().map((l) => l.toFixed(1)).join(' ')}`);
  } finally {
    if (given === null) fs.rmSync(dir, { recursive: true, force: true });
  }
}

main();
