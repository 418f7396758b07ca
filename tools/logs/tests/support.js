// Shared by the tests of tools/logs: processes that write logs through the
// real core (writer.js), runs of the tool, and the files of a folder.
'use strict';
const { spawn, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const readline = require('node:readline');

const kTool = path.join(__dirname, '..');
// Generous: sanitized modules start slowly on a loaded machine.
const kAnswerMs = 60000;

// One writer process; send() resolves with its answer.
class Writer {
  constructor() {
    this.child = spawn(process.execPath, [path.join(__dirname, 'writer.js')], { stdio: ['pipe', 'pipe', 'inherit'] });
    this.answers = [];
    this.waiting = [];
    readline.createInterface({ input: this.child.stdout }).on('line', (line) => {
      const answer = JSON.parse(line);
      const waiter = this.waiting.shift();
      if (waiter) waiter(answer); else this.answers.push(answer);
    });
    this.exited = new Promise((resolve) => this.child.on('exit', resolve));
  }

  static async start(dir, user, options = {}) {
    const writer = new Writer();
    writer.pid = (await writer.send({ op: 'init', dir, user, ...options })).pid;
    return writer;
  }

  send(command) {
    this.child.stdin.write(`${JSON.stringify(command)}\n`);
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error(`no answer to ${command.op} in ${kAnswerMs} ms`)), kAnswerMs);
      const done = (answer) => { clearTimeout(timer); resolve(answer); };
      if (this.answers.length > 0) done(this.answers.shift()); else this.waiting.push(done);
    });
  }

  log(...lines) {
    return this.send({ op: 'log', lines });
  }

  async stop() {
    await this.send({ op: 'exit' });
    await this.exited;
  }

  kill() {
    this.child.kill('SIGKILL');
  }
}

// Whether a sanitizer runtime is preloaded into node (the sanitized core's
// writers are then quicker than the callers it instruments).
const sanitized = /lib(a|t)san/.test(process.env.LD_PRELOAD ?? '');

// The environment of the tool's processes: without the sanitizer runtime,
// which only the writers need (the tool loads no native module, and programs
// such as script(1) do not start with it).
function toolEnv(extra = {}) {
  const env = { ...process.env, ...extra };
  for (const name of ['LD_PRELOAD', 'ASAN_OPTIONS', 'UBSAN_OPTIONS', 'TSAN_OPTIONS']) delete env[name];
  return env;
}

// Runs the tool to its end: {status, stdout, stderr} (stdout as latin1, byte
// for byte).
function runTool(args) {
  const run = spawnSync(process.execPath, [kTool, ...args],
    { env: toolEnv(), encoding: 'latin1', timeout: kAnswerMs, maxBuffer: 1 << 30 });
  if (run.error) throw run.error;
  return run;
}

// The tool's JSON records.
function runJson(args) {
  const run = runTool([...args, '--json']);
  if (run.status !== 0) throw new Error(run.stderr);
  return Buffer.from(run.stdout, 'latin1').toString('utf8').split('\n').filter((l) => l !== '')
    .map((l) => JSON.parse(l));
}

// {name: [lines]} of the core's files in `dir` (latin1, without the last
// newline's empty piece).
function folderLines(dir) {
  const files = {};
  for (const name of fs.readdirSync(dir).filter((n) => n.endsWith('.log'))) {
    const lines = fs.readFileSync(path.join(dir, name), 'latin1').split('\n');
    if (lines.at(-1) === '') lines.pop();
    files[name] = lines;
  }
  return files;
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

module.exports = { Writer, runTool, runJson, folderLines, sleep, kTool, toolEnv, sanitized };
