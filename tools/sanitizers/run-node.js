#!/usr/bin/env node
// Runs a program (node with a test) under a sanitizer whose runtime is
// preloaded, and fails it for sanitizer reports in our code only.
//
//   KESTRO_SANITIZER_PRELOAD=<runtime libraries> \
//     node tools/sanitizers/run-node.js [--modules <dir>]... [--sources <dir>] \
//       -- <program> [<argument>...]
//
// node is not instrumented: a sanitizer preloaded into it also sees node's own
// threads and allocations, whose synchronisation it partly cannot see, and
// reports races and faults inside node that say nothing about our code. So the
// sanitizers write their reports to files instead of deciding the exit status:
//
//   - the program runs with LD_PRELOAD set to KESTRO_SANITIZER_PRELOAD (this
//     script itself runs without it) and with the options below appended to
//     ASAN_OPTIONS, UBSAN_OPTIONS and TSAN_OPTIONS (later options win). The
//     child processes it starts inherit them and write files of their own.
//   - afterwards every file is printed whole, each report under a line that
//     says whether it is "in our code" (our code, a module in one of the
//     --modules directories or a source in --sources, made the access, lock,
//     free or check it reports; the line names the frame: see reports.js) or
//     "outside our code".
//   - the exit status is the program's (128 + the signal's number when a
//     signal ended it); when the program succeeded, 1 if any report is in our
//     code.
//
// AddressSanitizer stops a process at its first report unless the code was
// built to recover. Ours is not: a memory error in our code ends the program
// there (with SIGABRT) and fails the test, since running on after corrupting
// memory proves nothing. Inside node, which is not instrumented, the sanitizer
// sees only what passes its interceptors (memcpy, strlen, ...) and allocator,
// and those reports can go on at run time: halt_on_error=0 lets the test go
// on past them, and the filter decides. UndefinedBehaviorSanitizer checks only
// instrumented code, so each of its reports is ours and stops the program.
// ThreadSanitizer goes on after every report (halt_on_error=0) and leaves the
// exit status alone (exitcode=0); a sanitizer that dies for another reason (a
// deadly signal, an internal check) aborts the program (abort_on_error=1).
'use strict';
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { splitLog, ownCode, ownLine } = require('./reports');

// Every frame with its module, so that reports of code built here are
// recognised by module (the default AddressSanitizer format leaves it out
// when a frame has a source line).
const kFrameFormat = "stack_trace_format='    #%n %p %F %S %M'";

function runnerOptions(dir) {
  return {
    ASAN_OPTIONS: ['halt_on_error=0', 'abort_on_error=1', `log_path=${dir}/asan`, kFrameFormat],
    UBSAN_OPTIONS: ['print_stacktrace=1', 'abort_on_error=1', `log_path=${dir}/ubsan`,
      kFrameFormat],
    TSAN_OPTIONS: ['halt_on_error=0', 'exitcode=0', 'abort_on_error=1', `log_path=${dir}/tsan`],
  };
}

function usage(message) {
  console.error(`run-node.js: ${message}\n` +
    'usage: run-node.js [--modules <dir>]... [--sources <dir>] -- <program> [<argument>...]');
  process.exit(2);
}

function parseArguments(argv) {
  const moduleDirs = [];
  let sourceDir = null;
  let i = 0;
  for (; i < argv.length && argv[i] !== '--'; i += 2) {
    if (i + 1 >= argv.length) usage(`${argv[i]} needs a directory`);
    if (argv[i] === '--modules') moduleDirs.push(argv[i + 1]);
    else if (argv[i] === '--sources') sourceDir = argv[i + 1];
    else usage(`unknown option ${argv[i]}`);
  }
  const command = argv.slice(i + 1);
  if (command.length === 0) usage('no program given');
  return { moduleDirs, sourceDir, command };
}

function programEnvironment(dir) {
  const env = { ...process.env };
  delete env.KESTRO_SANITIZER_PRELOAD;
  delete env.LD_PRELOAD;  // set for the program alone (start)
  for (const [name, options] of Object.entries(runnerOptions(dir))) {
    env[name] = [env[name], ...options].filter(Boolean).join(':');
  }
  return env;
}

// Starts the program; it is killed if this script dies first (setpriv), and
// only the program gets the preloaded runtime (env).
function start(command, dir) {
  const preload = process.env.KESTRO_SANITIZER_PRELOAD || '';
  const child = spawn('setpriv',
    ['--pdeathsig', 'KILL', '--', 'env', `LD_PRELOAD=${preload}`, ...command],
    { stdio: 'inherit', env: programEnvironment(dir) });
  for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP']) {
    process.on(signal, () => child.kill(signal));
  }
  return child;
}

// Prints every log file in `dir` with a verdict over each report; answers
// {ours, outside}.
function printReports(dir, own) {
  const files = fs.readdirSync(dir).map((name) => path.join(dir, name))
    .sort((a, b) => fs.statSync(a).mtimeMs - fs.statSync(b).mtimeMs);
  const counts = { ours: 0, outside: 0 };
  for (const file of files) {
    const pid = path.extname(file).slice(1);
    const parts = splitLog(fs.readFileSync(file, 'utf8'));
    const reports = parts.filter((part) => part.isReport).length;
    let index = 0;
    for (const part of parts) {
      if (part.isReport) {
        const line = ownLine(part.text, own);
        counts[line ? 'ours' : 'outside'] += 1;
        const verdict = line ? `in our code: ${line}` : 'outside our code';
        console.log(`---- sanitizer report ${++index} of ${reports}, process ${pid}: ${verdict}`);
      }
      console.log(part.text);
    }
  }
  if (counts.ours + counts.outside > 0) {
    console.log(`---- sanitizer reports: ${counts.ours} in our code, ${counts.outside} outside ` +
      'our code (outside reports do not fail the test)');
  }
  return counts;
}

function main() {
  const { moduleDirs, sourceDir, command } = parseArguments(process.argv.slice(2));
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'kestro-sanitizer-'));
  const child = start(command, dir);
  child.on('error', (err) => {
    console.error(`run-node.js: cannot start ${command[0]}: ${err.message}`);
    fs.rmSync(dir, { recursive: true, force: true });
    process.exit(1);
  });
  child.on('exit', (status, signal) => {
    const counts = printReports(dir, ownCode({ moduleDirs, sourceDir }));
    fs.rmSync(dir, { recursive: true, force: true });
    if (signal) {
      console.log(`---- ${command[0]} ended by ${signal}`);
      process.exit(128 + os.constants.signals[signal]);
    }
    if (status === 0 && counts.ours > 0) {
      console.log(`---- failing: ${counts.ours} sanitizer report(s) in our code`);
      process.exit(1);
    }
    process.exit(status);
  });
}

main();
