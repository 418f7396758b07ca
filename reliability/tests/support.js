// Shared by the reliability tests: where the modules are, a seeded random
// generator, forced collection, and child processes that cannot outlive a test.
'use strict';
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const v8 = require('node:v8');
const vm = require('node:vm');

const out = process.env.KESTRO_OUT_DIR;
const modulePaths = {
  notifysim: path.join(out, 'notifysim.node'),
  notifyaddon: path.join(out, 'notifyaddon.node'),
  bootclock: path.join(out, 'bootclock.node'),
  logcontrol: path.join(out, 'logcontrol.node'),
};

// Whether a sanitizer runtime is preloaded (slower runs take smaller counts).
const sanitized = /lib(a|t)san/.test(process.env.LD_PRELOAD || '');

// mulberry32: small, fast and the same on every machine for a given seed.
function seededRandom(seed) {
  let state = seed >>> 0;
  const next = () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  next.below = (n) => Math.floor(next() * n);
  next.pick = (list) => list[next.below(list.length)];
  return next;
}

// A full collection, with the weak references that die in it cleared: they
// are cleared only once the current job is over, so turns of the event loop
// go around it.
v8.setFlagsFromString('--expose-gc');
const gc = vm.runInNewContext('gc');
const turn = () => new Promise((resolve) => setImmediate(resolve));
async function collect() {
  for (let i = 0; i < 3; ++i) {
    await turn();
    gc();
  }
  await turn();
}

function temporaryDirectory(t, name) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), `${name}-`));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  return dir;
}

// Runs `script` in a new node process; resolves with {status, signal, stdout,
// stderr, exitedAt} (Date.now() when it ended). A child still running after
// `timeoutMs` is killed (SIGKILL) and the promise rejects.
function runChild(script, { timeoutMs = 60000, cwd, args = [] } = {}) {
  return new Promise((resolve, reject) => {
    const child = spawn(process.execPath, [...args, '-e', script], { cwd });
    let stdout = '';
    let stderr = '';
    child.stdout.setEncoding('utf8').on('data', (d) => { stdout += d; });
    child.stderr.setEncoding('utf8').on('data', (d) => { stderr += d; });
    const timer = setTimeout(() => {
      child.kill('SIGKILL');
      reject(new Error(`child still running after ${timeoutMs} ms\n${stderr}`));
    }, timeoutMs);
    child.on('error', reject);
    child.on('close', (status, signal) => {
      clearTimeout(timer);
      resolve({ status, signal, stdout, stderr, exitedAt: Date.now() });
    });
  });
}

// The text of every file in `dir` whose name starts with `prefix`.
function filesText(dir, prefix) {
  return fs.readdirSync(dir).filter((f) => f.startsWith(prefix))
    .map((f) => fs.readFileSync(path.join(dir, f), 'utf8')).join('');
}

module.exports = {
  modulePaths, sanitized, seededRandom, collect, gc, temporaryDirectory, runChild, filesText,
};
