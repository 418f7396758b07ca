#!/usr/bin/env node
// Turns the trace channel's files into one file that trace viewers open: the
// JSON trace-event format, an object whose "traceEvents" array holds the
// events.
//
//   node tools/trace/to-viewer.js <log directory | trace file>... [-o <file>]
//
// A directory stands for its trace files (trace-*.log). The output defaults to
// trace-viewer.json in the first directory given (else beside the first
// file); its path is printed. Exits 1 when no event was found, 2 on bad usage.
//
// A trace file holds one event per line: a JSON object followed by ",". The
// viewer file keeps each line's text unchanged, only without that comma, so
// every line of the trace files is one event of the viewer file. Files are
// taken in the order of their first event's time stamp: after a change of
// user id a slice can begin in one file and end in the next. A line that is
// not a JSON object (a half-written last line, a message that was not an event
// fragment) would make the whole file unreadable to a viewer: it is left out
// and reported, never silently.
//
// As a module: traceFiles(dir), readTrace(files) -> {events, lines, skipped},
// viewerFileText(files) -> {text, events, skipped},
// writeViewerFile(files, outputPath) -> {path, events, skipped}.
'use strict';
const fs = require('node:fs');
const path = require('node:path');

const kViewerFileName = 'trace-viewer.json';
const kTraceFile = /^trace-.*\.log$/;

// The trace files of a log directory.
function traceFiles(dir) {
  return fs.readdirSync(dir).filter((name) => kTraceFile.test(name))
    .map((name) => path.join(dir, name));
}

// One line of a trace file as an event, or null when it is not one.
function parseLine(line) {
  try {
    const event = JSON.parse(line.endsWith(',') ? line.slice(0, -1) : line);
    return event !== null && typeof event === 'object' && !Array.isArray(event) ? event : null;
  } catch {
    return null;
  }
}

function readFile(file) {
  const events = [];
  const lines = [];
  const skipped = [];
  fs.readFileSync(file, 'utf8').split('\n').forEach((line, index) => {
    if (line === '') return;
    const event = parseLine(line);
    if (event === null) {
      skipped.push({ file, line: index + 1, text: line });
    } else {
      events.push(event);
      lines.push(line.endsWith(',') ? line.slice(0, -1) : line);
    }
  });
  return { events, lines, skipped };
}

// The events of the files, in the order of each file's first time stamp; an
// event's text is lines[i] (the line without its comma).
function readTrace(files) {
  const firstTs = (read) => (read.events.length > 0 ? read.events[0].ts : Infinity);
  const reads = files.map(readFile).sort((a, b) => firstTs(a) - firstTs(b));
  return {
    events: reads.flatMap((read) => read.events),
    lines: reads.flatMap((read) => read.lines),
    skipped: reads.flatMap((read) => read.skipped),
  };
}

// The viewer file's text for the files: {text, events (count), skipped}.
function viewerFileText(files) {
  const { events, lines, skipped } = readTrace(files);
  const body = lines.length > 0 ? `\n${lines.join(',\n')}\n` : '';
  return { text: `{"traceEvents":[${body}]}\n`, events: events.length, skipped };
}

function writeViewerFile(files, outputPath) {
  const { text, events, skipped } = viewerFileText(files);
  fs.writeFileSync(outputPath, text);
  return { path: outputPath, events, skipped };
}

function main(args) {
  const outAt = args.indexOf('-o');
  const output = outAt >= 0 ? args[outAt + 1] : undefined;
  const inputs = args.filter((arg, i) => arg !== '-o' && (outAt < 0 || i !== outAt + 1));
  if (inputs.length === 0 || (outAt >= 0 && output === undefined)) {
    console.error('usage: to-viewer.js <log directory | trace file>... [-o <file>]');
    return 2;
  }
  const isDir = (p) => fs.statSync(p).isDirectory();
  const files = inputs.flatMap((p) => (isDir(p) ? traceFiles(p) : [p]));
  const firstDir = inputs.find(isDir) ?? path.dirname(inputs[0]);
  const result = writeViewerFile(files, output ?? path.join(firstDir, kViewerFileName));
  for (const { file, line, text } of result.skipped) {
    console.error(`${file}:${line}: not a trace event, left out: ${text.slice(0, 80)}`);
  }
  console.log(result.path);
  return result.events > 0 ? 0 : 1;
}

if (require.main === module) {
  process.exitCode = main(process.argv.slice(2));
}

module.exports = { traceFiles, readTrace, viewerFileText, writeViewerFile, kViewerFileName };
