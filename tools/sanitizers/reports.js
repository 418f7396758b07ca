// Sanitizer reports: a sanitizer's log file split into its parts, and whether
// a report concerns this repository's code.
//
// A log file (one per process: <log_path>.<pid>) holds reports and a little
// else ("ThreadSanitizer: reported 2 warnings"). ThreadSanitizer and
// AddressSanitizer begin each report with a line of "=" characters (which
// ThreadSanitizer also puts after its SUMMARY line); UndefinedBehaviorSanitizer
// begins each with its "<file>:<line>:<column>: runtime error: " line. Every
// part is kept whole, in order.
//
// A report is in our code when one of its lines names a module built here or
// a source file of the repository:
//   - a module, as the sanitizers print it after a frame or a location
//     ("(notifyaddon.node+0x1a2b)"; the runner asks for it on every frame):
//     a base name among the files of the module directories, or a path inside
//     one of them;
//   - a source file given by an absolute path inside the repository. (Code
//     built here carries source paths relative to its build directory, such
//     as "../../Zandrel/...", and is recognised by its module; node's own
//     relative paths, "../deps/uv/...", say nothing about this repository.)
// Only the stacks of the fault itself count: the racing accesses (also the
// frames of our code below node's, which called node), a lock taken or
// released, the faulting access and where its memory was freed, the check
// that failed. The stacks that describe circumstances do not: where a thread
// was started, a mutex created or the memory allocated, and the location
// lines. Every thread that JavaScript starts (a worker, V8's helpers) shows
// the native code that called into JavaScript at the time, ours included,
// and node allocates its own objects under our calls; those frames say
// nothing about who raced. A report whose stack could not be restored
// ("[failed to restore the stack]") is judged by what it does show.
'use strict';
const fs = require('node:fs');
const path = require('node:path');

const kSeparator = /^={10,}$/;
const kUndefinedBehaviour = /: runtime error: /;
const kReportMarker =
  /(?:WARNING|ERROR): \w*Sanitizer|: runtime error: |Sanitizer: CHECK failed|^SUMMARY: /m;
const kFrame = /^\s*#\d+ /;
// Headers of the circumstance stacks and location lines.
const kContextHeader = new RegExp(String.raw`^\s*(?:Thread T\d+\b.* created by |` +
  String.raw`Mutex M\d+\b.* created at:|Location is |0x[0-9a-f]+ is located |` +
  String.raw`(?:previously )?allocated by thread )`);
const kModule = /\(([^()\s]+)\+0x[0-9a-f]+\)/g;
const kAbsoluteSource = /(?:^|\s)(\/[^\s:()]+):\d+/g;

// The parts of a log file's text: [{text, isReport}], in order, blank ones
// left out.
function splitLog(text) {
  const parts = [];
  let lines = [];
  const close = () => {
    const partText = lines.join('\n').trimEnd();
    if (partText !== '') {
      parts.push({ text: partText, isReport: kReportMarker.test(partText) });
    }
    lines = [];
  };
  for (const line of text.split('\n')) {
    if (kSeparator.test(line) && lines.length > 0 && lines[lines.length - 1].startsWith('SUMMARY: ')) {
      lines.push(line);  // ThreadSanitizer's closing line
      close();
      continue;
    }
    if (kSeparator.test(line) || kUndefinedBehaviour.test(line)) {
      close();
    }
    lines.push(line);
  }
  close();
  return parts;
}

// What counts as ours: {moduleNames: Set of base names, moduleDirs, sourceDir}.
function ownCode({ moduleDirs = [], sourceDir = null } = {}) {
  const dirs = moduleDirs.map((dir) => path.resolve(dir));
  const moduleNames = new Set();
  for (const dir of dirs) {
    for (const entry of fs.existsSync(dir) ? fs.readdirSync(dir, { withFileTypes: true }) : []) {
      if (entry.isFile()) moduleNames.add(entry.name);
    }
  }
  return { moduleNames, moduleDirs: dirs, sourceDir: sourceDir && path.resolve(sourceDir) };
}

const isInside = (file, dir) => file.startsWith(dir + path.sep);

function isOwnModule(module, own) {
  return path.isAbsolute(module)
    ? own.moduleDirs.some((dir) => isInside(module, dir))
    : own.moduleNames.has(module);
}

// The first line of `report` outside the circumstance stacks that shows our
// code, or null.
function ownLine(report, own) {
  let inContext = false;
  for (const line of report.split('\n')) {
    if (!kFrame.test(line)) inContext = kContextHeader.test(line);
    if (inContext) continue;
    for (const [, module] of line.matchAll(kModule)) {
      if (isOwnModule(module, own)) return line.trim();
    }
    if (own.sourceDir) {
      for (const [, file] of line.matchAll(kAbsoluteSource)) {
        if (isInside(file, own.sourceDir)) return line.trim();
      }
    }
  }
  return null;
}

module.exports = { splitLog, ownCode, ownLine };
