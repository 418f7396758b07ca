// A process of the application that writes logs through logcontrol.node and
// bootclock.node, driven by the tests one JSON command a line on standard
// input; it answers each with {pid, at} (at: Date.now() once the command is
// done, so once flushed lines are in their files).
//
//   {"op":"init","dir":...,"tag":...,"user":...,"trace":true,"maxFileSize":400}
//   {"op":"log","lines":[[category, level, text], ...]}        (then a flush)
//   {"op":"user","user":...}    {"op":"bootclock"}    {"op":"exit"}
//   {"op":"flood"}   logs large texts until the writers report dropped lines
'use strict';
const fs = require('node:fs');
const path = require('node:path');
const readline = require('node:readline');

const out = process.env.KESTRO_OUT_DIR;
const lc = require(path.join(out, 'logcontrol.node'));
let logDirectory = null;

// Every handler of the running configuration rotating at `bytes`.
function rotateAt(bytes) {
  const config = lc.getCompleteMasterLogConfig();
  for (const handler of Object.values(config.handlers)) handler.options.maxFileSize = String(bytes);
  lc.setCompleteMasterLogConfig(config);
}

function dropReported() {
  return fs.readdirSync(logDirectory).some((name) =>
    fs.readFileSync(path.join(logDirectory, name), 'latin1').includes(' log messages were discarded '));
}

async function run(command) {
  switch (command.op) {
    case 'init':
      logDirectory = command.dir;
      lc.initLogging(command.dir, command.tag ?? 'main', command.user, command.trace ?? true);
      if (command.maxFileSize !== undefined) rotateAt(command.maxFileSize);
      return {};
    case 'log':
      for (const [category, level, text] of command.lines) lc.log(category, level, text);
      lc.flushLogs();
      return {};
    case 'user':
      lc.updateLoggingWithUserId(command.user);
      return {};
    case 'bootclock':
      await require(path.join(out, 'bootclock.node')).getProcessStartDate().catch(() => {});
      lc.flushLogs();
      return {};
    case 'flood': {
      const text = 'x'.repeat(200000);
      for (let round = 0; round < 20 && !dropReported(); ++round) {
        for (let i = 0; i < 30; ++i) lc.log('app.flood', 'INFO', text);
        lc.flushLogs();
      }
      return { dropped: dropReported() };
    }
    case 'exit':
      lc.flushLogs();
      return { exit: true };
    default:
      throw new Error(`unknown command ${command.op}`);
  }
}

let queue = Promise.resolve();
readline.createInterface({ input: process.stdin }).on('line', (line) => {
  queue = queue.then(async () => {
    const answer = await run(JSON.parse(line));
    process.stdout.write(`${JSON.stringify({ pid: process.pid, at: Date.now(), ...answer })}\n`);
    if (answer.exit) process.exit(0);
  });
});
