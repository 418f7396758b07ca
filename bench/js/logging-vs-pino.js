// JavaScript logging into a file: logcontrol.log (the application's first way
// into the main log), a logcontrol logger (getLogger(...).info) and pino
// writing through an asynchronous file destination.
//
// All log the same message with two interpolated values, N lines each (after
// a warm-up), interleaved repetition by repetition, in one process:
//   - cost per call on the JavaScript thread, timed call by call with
//     process.hrtime.bigint() (median and 99th percentile; the timer's own
//     cost, measured on an empty call, is printed and not subtracted);
//   - lines per second from the first call until the data is written:
//     logcontrol's flushLogs() returns once every line is with the operating
//     system; pino's destination is flushed and ended and its 'close' awaited.
// The files are read back afterwards and only the counted lines count; lines
// the kestro writer dropped under overload (it never blocks the caller) are
// reported in the "Dropped" column.
//
// Then, with every system: a call whose level is off (the logger's dbg, pino's
// debug, both at info), timed over a loop of calls with a constant text, best
// of five rounds; the logger's call with callSite on beside the same logger
// without it; and the logger's call again after one very long line (medians
// of calls timed one by one, CALL_SITE_LINES each).
//
//   node bench/js/logging-vs-pino.js --module=build/release/out/logcontrol.node
//        [--lines=N] [--repetitions=R] [--dir=D] [--only=logcontrol|logger|pino]
//
// Run through bench/js/run.sh, which installs pino (a development dependency
// of this folder only) with `npm ci` when it is missing.
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const MARKER = 'of the benchmark run';
const WARM_UP_LINES = 20000;
const DISABLED_CALLS = 10000000;
const CALL_SITE_LINES = 100000;
const LONG_LINE_CHARACTERS = 60000;
const SYSTEMS = ['logcontrol', 'logger', 'pino'];

function parseArguments(argv) {
  const options = { lines: 1000000, repetitions: 1, dir: null, module: null, only: null };
  for (const arg of argv) {
    const [key, value] = arg.split('=', 2);
    if (key === '--lines') options.lines = Number(value);
    else if (key === '--repetitions') options.repetitions = Number(value);
    else if (key === '--dir') options.dir = value;
    else if (key === '--module') options.module = path.resolve(value);
    else if (key === '--only' && SYSTEMS.includes(value)) options.only = value;
    else throw new Error(`unknown argument ${arg}`);
  }
  if (!options.module) throw new Error('--module=<path of logcontrol.node> is required');
  if (!(options.lines > 0 && options.repetitions > 0)) {
    throw new Error('--lines and --repetitions must be positive');
  }
  return options;
}

// Calls log(i) for i in [0, lines) and records each call's duration.
function timeCalls(log, lines, samples) {
  const started = process.hrtime.bigint();
  for (let i = 0; i < lines; ++i) {
    const before = process.hrtime.bigint();
    log(i);
    samples[i] = Number(process.hrtime.bigint() - before);
  }
  return started;
}

// The text of every file in `dir` whose name starts with `prefix`.
function filesText(dir, prefix) {
  return fs.readdirSync(dir).filter((name) => name.startsWith(prefix))
    .map((name) => fs.readFileSync(path.join(dir, name), 'utf8'));
}

function countMarkedLines(dir, prefix) {
  let count = 0;
  for (const text of filesText(dir, prefix)) {
    for (let at = text.indexOf(MARKER); at !== -1; at = text.indexOf(MARKER, at + 1)) ++count;
  }
  return count;
}

// The writer's own reports of lines it dropped under overload.
function droppedBy(dir, prefix) {
  let dropped = 0;
  for (const text of filesText(dir, prefix)) {
    for (const m of text.matchAll(/(\d+) log messages (?:were )?discarded/g)) dropped += Number(m[1]);
  }
  return dropped;
}

// Runs the warm-up, the timed calls and the flush of one kestro system.
async function runKestro(lc, dir, lines, samples, warmUp, log) {
  lc.initLogging(dir, 'bench', '1', false);
  for (let i = 0; i < WARM_UP_LINES; ++i) warmUp(i);
  lc.flushLogs();
  const started = timeCalls(log, lines, samples);
  lc.flushLogs();
  const elapsed = process.hrtime.bigint() - started;
  lc.deinitLogging();
  return elapsed;
}

function makeKestro(modulePath) {
  const lc = require(modulePath);
  return {
    key: 'logcontrol',
    name: 'logcontrol.log (main channel)',
    prefix: 'kestro-',
    run: (dir, lines, samples) => runKestro(lc, dir, lines, samples,
      (i) => lc.log('app.bench', 'INFO', `warm-up ${i} of the JavaScript path, second argument ${i * 7}`),
      (i) => lc.log('app.bench', 'INFO', `message ${i} ${MARKER}, with a second argument ${i * 7}`)),
  };
}

function makeKestroLogger(modulePath) {
  const lc = require(modulePath);
  const logger = lc.getLogger('app.bench');
  return {
    key: 'logger',
    name: 'logcontrol logger.info (main channel)',
    prefix: 'kestro-',
    run: (dir, lines, samples) => runKestro(lc, dir, lines, samples,
      (i) => logger.info(`warm-up ${i} of the JavaScript path, second argument ${i * 7}`),
      (i) => logger.info(`message ${i} ${MARKER}, with a second argument ${i * 7}`)),
  };
}

function makePino() {
  const pino = require('pino');
  return {
    key: 'pino',
    name: 'pino 9, asynchronous file destination',
    prefix: 'pino',
    async run(dir, lines, samples) {
      const destination = pino.destination({ dest: path.join(dir, 'pino.log'), sync: false });
      await new Promise((resolve) => destination.once('ready', resolve));
      const logger = pino({ base: { pid: process.pid } }, destination);
      for (let i = 0; i < WARM_UP_LINES; ++i) {
        logger.info('warm-up %d of the JavaScript path, second argument %d', i, i * 7);
      }
      destination.flushSync();
      const log = (i) =>
        logger.info(`message %d ${MARKER}, with a second argument %d`, i, i * 7);
      const started = timeCalls(log, lines, samples);
      const closed = new Promise((resolve) => destination.once('close', resolve));
      destination.end();
      await closed;
      return process.hrtime.bigint() - started;
    },
  };
}

function percentile(sorted, fraction) {
  return sorted[Math.min(sorted.length - 1, Math.floor(sorted.length * fraction))];
}

function timerCost(samples) {
  timeCalls(() => {}, samples.length, samples);
  return percentile(Float64Array.from(samples).sort(), 0.5);
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const root = options.dir ?? fs.mkdtempSync(path.join(os.tmpdir(), 'js-logging-bench-'));
  const systems = [makeKestro(options.module), makeKestroLogger(options.module), makePino()]
    .filter((system) => !options.only || system.key === options.only);
  const samples = new Float64Array(options.lines);
  const results = systems.map(() => ({ latencies: [], rates: [], lines: 0, dropped: 0 }));
  for (let r = 0; r < options.repetitions; ++r) {
    for (const [s, system] of systems.entries()) {
      const dir = fs.mkdtempSync(path.join(root, `run-${r}-${s}-`));
      const elapsed = await system.run(dir, options.lines, samples);
      const written = countMarkedLines(dir, system.prefix);
      results[s].latencies.push(Float64Array.from(samples));
      results[s].rates.push(written / (Number(elapsed) / 1e9));
      results[s].lines += written;
      results[s].dropped += droppedBy(dir, system.prefix);
      fs.rmSync(dir, { recursive: true, force: true });
    }
  }
  const extra = options.only ? null : singleCalls(options.module, root, samples);
  report(options, systems, results, timerCost(samples), extra);
}

// Nanoseconds per call of `call` over `count` calls, best of five rounds.
function perCall(call, count) {
  let best = Infinity;
  for (let round = 0; round < 5; ++round) {
    const started = process.hrtime.bigint();
    for (let i = 0; i < count; ++i) call(i);
    best = Math.min(best, Number(process.hrtime.bigint() - started) / count);
  }
  return best;
}

function medianOf(samples, count) {
  return percentile(Float64Array.from(samples.subarray(0, count)).sort(), 0.5);
}

// The disabled calls and the call-site cost (see the file comment).
function singleCalls(modulePath, root, samples) {
  const lc = require(modulePath);
  const pino = require('pino');
  const dir = fs.mkdtempSync(path.join(root, 'single-'));
  lc.initLogging(dir, 'bench', '1', false);
  const logger = lc.getLogger('app.bench');
  const sited = lc.getLogger('app.bench', { callSite: true });
  const pinoLogger = pino({ level: 'info' }, pino.destination({ dest: path.join(dir, 'pino.log') }));
  const result = {
    disabledLogger: perCall(() => logger.dbg('a message of the benchmark run'), DISABLED_CALLS),
    disabledPino: perCall(() => pinoLogger.debug('a message of the benchmark run'), DISABLED_CALLS),
  };
  const text = (i) => `message ${i} ${MARKER}, with a second argument ${i * 7}`;
  timeCalls((i) => logger.info(text(i)), CALL_SITE_LINES, samples);
  result.plainCall = medianOf(samples, CALL_SITE_LINES);
  timeCalls((i) => sited.info(text(i)), CALL_SITE_LINES, samples);
  result.sitedCall = medianOf(samples, CALL_SITE_LINES);
  // The thread's text buffer keeps the storage of a long line: the calls after
  // it must not pay for that storage again.
  logger.info('x'.repeat(LONG_LINE_CHARACTERS));
  timeCalls((i) => logger.info(text(i)), CALL_SITE_LINES, samples);
  result.afterLongLine = medianOf(samples, CALL_SITE_LINES);
  lc.deinitLogging();
  fs.rmSync(dir, { recursive: true, force: true });
  return result;
}

function report(options, systems, results, timer, extra) {
  const load = os.loadavg().map((x) => x.toFixed(2)).join(' ');
  console.log(`node ${process.version}, ${os.cpus().length} cores online, load average ${load}`);
  console.log(`lines per run: ${options.lines}, repetitions: ${options.repetitions}, ` +
    `timer cost (empty call): ${timer} ns`);
  console.log('\n| System | Call median | Call p99 | Lines/s until written | Lines written | Dropped |');
  console.log('|---|---|---|---|---|---|');
  const summary = results.map((result) => {
    const all = new Float64Array(result.latencies.reduce((n, l) => n + l.length, 0));
    let at = 0;
    for (const l of result.latencies) { all.set(l, at); at += l.length; }
    all.sort();
    const rates = [...result.rates].sort((a, b) => a - b);
    return { median: percentile(all, 0.5), p99: percentile(all, 0.99),
      rate: rates[Math.floor(rates.length / 2)], lines: result.lines, dropped: result.dropped };
  });
  summary.forEach((s, i) => console.log(`| ${systems[i].name} | ${s.median} ns | ${s.p99} ns | ` +
    `${(s.rate / 1e6).toFixed(3)} M | ${s.lines} | ${s.dropped} |`));
  if (summary.length < 3) return;
  const [log, logger, pino] = summary;
  const ratio = (a, b) => (a / b).toFixed(3);
  console.log('\n| Ratio | logcontrol.log | logger.info |\n|---|---|---|');
  console.log(`| call median, kestro / pino | ${ratio(log.median, pino.median)} | ${ratio(logger.median, pino.median)} |`);
  console.log(`| call p99, kestro / pino | ${ratio(log.p99, pino.p99)} | ${ratio(logger.p99, pino.p99)} |`);
  console.log(`| lines/s, kestro / pino | ${ratio(log.rate, pino.rate)} | ${ratio(logger.rate, pino.rate)} |`);
  if (!extra) return;
  console.log('\n| Single call | Time |\n|---|---|');
  console.log(`| logger.dbg with DBG off (best of 5 x ${DISABLED_CALLS}) | ${extra.disabledLogger.toFixed(2)} ns |`);
  console.log(`| pino debug with level info (best of 5 x ${DISABLED_CALLS}) | ${extra.disabledPino.toFixed(2)} ns |`);
  console.log(`| logger.info, median of ${CALL_SITE_LINES} | ${extra.plainCall} ns |`);
  console.log(`| logger.info with callSite, median of ${CALL_SITE_LINES} | ${extra.sitedCall} ns |`);
  console.log(`| logger.info after one line of ${LONG_LINE_CHARACTERS} characters, median of ${CALL_SITE_LINES} | ${extra.afterLongLine} ns |`);
}

main().catch((err) => {
  console.error(err);
  process.exitCode = 1;
});
