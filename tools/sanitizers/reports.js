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
// A report is in our code when one of its stacks shows that our code made
// the access, lock, free or failed check it reports. The frame that decides is
// a stack's first one in either our code or the host's (node, its JavaScript):
// the frames above it (the sanitizer's interceptors, the C and C++ runtime,
// fmt and the other shared libraries) act for that caller. A frame is ours
// when its module, as the sanitizers print it ("(notifyaddon.node+0x1a2b)";
// the runner asks for it on every frame), is a base name among the files of
// the module directories or a path inside one of them, or when its source is
// an absolute path inside the repository. (Code built here carries source
// paths relative to its build directory, "../../Zandrel/...", and is known by
// its module; node's own relative paths, "../deps/uv/...", say nothing about
// this repository.) A frame of the host, or one without a module (JIT code),
// makes the stack node's.
//
// So frames of ours further down do not count: node runs its own work under
// our calls (a garbage collection started by an allocation of ours joins V8's
// job threads; JavaScript that our item called posts a message), and those
// races are node's. Nor do the stacks of circumstances: where a thread was
// started, a mutex created or the memory allocated, and the location lines;
// except in a thread leak, whose report is where the thread was started. A
// stack that could not be restored ("[failed to restore the stack]") decides
// nothing.
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
const kThreadLeak = /WARNING: ThreadSanitizer: thread leak/;
const kHostModule = /^(?:node|libnode\.so.*)$/;
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

// What counts as ours: {moduleNames: Set of base names, moduleDirs,
// sourceDir}.
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

// The module a frame line names, or null (JIT code, an unknown module).
function frameModule(line) {
  const modules = [...line.matchAll(kModule)];
  return modules.length > 0 ? modules[modules.length - 1][1] : null;
}

function isOwnFrame(line, own) {
  const module = frameModule(line);
  if (module !== null && isOwnModule(module, own)) return true;
  return own.sourceDir !== null &&
    [...line.matchAll(kAbsoluteSource)].some(([, file]) => isInside(file, own.sourceDir));
}

const isHostFrame = (line) => {
  const module = frameModule(line);
  return module === null || kHostModule.test(path.basename(module));
};

// The frame line of `report` that shows our code making the reported access,
// or null.
function ownLine(report, own) {
  const leak = kThreadLeak.test(report);
  let counts = false;  // whether the current stack is one of the fault's own
  let decided = false;  // whether the current stack's deciding frame was seen
  for (const line of report.split('\n')) {
    if (!kFrame.test(line)) {
      counts = leak || !kContextHeader.test(line);
      decided = false;
      continue;
    }
    if (!counts || decided) continue;
    if (isOwnFrame(line, own)) return line.trim();
    decided = isHostFrame(line);
  }
  return null;
}

module.exports = { splitLog, ownCode, ownLine };
