#!/usr/bin/env node
// Reads a log directory of the logging core: every channel, rotation, pid and
// user id merged into one stream in time order, filtered, followed, summed up
// or packed for a bug report. `node tools/logs --help` lists the options.
//
// With KESTRO_LOGS_POLLS set, --follow reports each poll on standard error as
// "poll <start, ms since the epoch> <records printed>" (the tests read it).
//
// As a module: main(argv, {stdout, stderr, env}) -> exit status.
'use strict';
const fs = require('node:fs');
const { UsageError } = require('./lib/errors');
const { parseOptions, kUsage } = require('./lib/options');
const { listLogFiles } = require('./lib/logFiles');
const { probeZones, selectStreams } = require('./lib/selection');
const { recordFilter } = require('./lib/filter');
const { mergeStreams } = require('./lib/merge');
const { textFormatter, jsonFormatter, wantsColour, Output } = require('./lib/output');
const { Summary } = require('./lib/summary');
const { pack } = require('./lib/pack');
const { follow } = require('./lib/follow');

function checkDirectory(dir) {
  let stat;
  try {
    stat = fs.statSync(dir);
  } catch (err) {
    throw new UsageError(err.code === 'ENOENT' ? `no such log directory: ${dir}` :
      `cannot read the log directory ${dir}: ${err.code ?? err.message}`);
  }
  if (!stat.isDirectory()) throw new UsageError(`not a directory: ${dir}`);
}

async function packFiles(options, streams, io) {
  const files = streams.flat();
  if (files.length === 0) {
    io.stderr.write('logs: no log file matches, nothing packed\n');
    return 1;
  }
  const result = await pack(options.pack, files);
  for (const { file, line } of result.skipped) {
    io.stderr.write(`logs: ${file}:${line}: not a trace event, left out of the trace-viewer file\n`);
  }
  io.stdout.write(`${options.pack}: ${result.files} files (${result.bytes} bytes)` +
    `${result.events > 0 ? ` and trace-viewer.json (${result.events} events)` : ''} in ${result.folder}/\n`);
  return 0;
}

async function summarize(options, records, fileCount, io) {
  const summary = new Summary(fileCount);
  for (const record of records) summary.add(record);
  io.stdout.write(options.json ? summary.toJson() : summary.toText());
  return 0;
}

// Prints the records, then (with --follow) what comes after them.
async function print(options, records, context, io) {
  const format = options.json ? jsonFormatter() : textFormatter({ colour: wantsColour(io.stdout, io.env) });
  const out = new Output(io.stdout, { encoding: options.json ? 'utf8' : 'latin1' });
  const write = async (list) => {
    for (const record of list) {
      if (format(record, out)) await out.flush();
      if (out.closed) break;
    }
    await out.flush();
  };
  await write(records);
  if (options.follow && !out.closed) {
    const stop = { stopped: false, wake: () => {} };
    const end = () => {
      stop.stopped = true;
      stop.wake();
    };
    process.once('SIGINT', end).once('SIGTERM', end);
    io.stdout.once('close', end);
    const onPoll = io.env.KESTRO_LOGS_POLLS
      ? (start, count) => io.stderr.write(`poll ${start} ${count}\n`) : () => {};
    await follow({ ...context, write: async (list) => { await write(list); if (out.closed) end(); }, stop, onPoll });
    process.removeListener('SIGINT', end).removeListener('SIGTERM', end);
  }
  if (out.error !== null) throw out.error;
  return 0;
}

async function run(argv, io) {
  const options = parseOptions(argv, Date.now() * 1000);
  if (options.help) {
    io.stdout.write(kUsage);
    return 0;
  }
  checkDirectory(options.dir);
  const files = listLogFiles(options.dir);
  const zones = probeZones(files);
  const streams = selectStreams(files, options.choice, zones, { keepNewest: options.follow });
  if (options.pack !== null) return packFiles(options, streams, io);
  const readerOptions = {
    zones,
    accept: recordFilter({ ...options.filter, since: options.choice.since, until: options.choice.until }),
    keepPartial: options.follow,
  };
  const sources = [];
  const records = mergeStreams(streams, readerOptions, sources);
  if (options.summary) return summarize(options, records, streams.flat().length, io);
  const context = {
    dir: options.dir, sources, known: new Set(files.map((f) => f.name)), choice: options.choice,
    zones, readerOptions,
  };
  return print(options, records, context, io);
}

async function main(argv, io = { stdout: process.stdout, stderr: process.stderr, env: process.env }) {
  try {
    return await run(argv, io);
  } catch (err) {
    // A failure of the system (writing the output, say) is reported like bad
    // input; anything else is a fault of the tool and keeps its stack.
    if (!(err instanceof UsageError) && err.code === undefined) throw err;
    io.stderr.write(`logs: ${err.message}\n`);
    if (err.badOption) io.stderr.write('(node tools/logs --help lists the options)\n');
    return 2;
  }
}

if (require.main === module) {
  main(process.argv.slice(2)).then((status) => { process.exitCode = status; });
}

module.exports = { main };
