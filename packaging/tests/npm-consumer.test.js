// The npm package as an application gets it: a new project in a temporary
// folder (`npm init -y`) installs the tarball offline (no registry), then
// uses the modules by the package's name only, compiles TypeScript against
// its declarations, and meets the refusals of a platform without binaries
// and of a host with an older Node-API. The test knows the tarball's path
// (KESTRO_NPM_TARBALL) and nothing else of the build.
'use strict';
const { test, before } = require('node:test');
const assert = require('node:assert');
const { execFile } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { promisify } = require('node:util');
const { temporaryDirectory, runChild, filesText } = require('../../reliability/tests/support.js');

const tarball = process.env.KESTRO_NPM_TARBALL;
const tsc = process.env.KESTRO_TSC;
const target = `${process.platform}-${process.arch}`;

// The children see nothing of the build. npm and the compiler also run
// without the sanitizer runtime the modules' own processes need.
const withoutBuild = Object.fromEntries(
  Object.entries(process.env).filter(([name]) => !name.startsWith('KESTRO_')));
const unsanitized = Object.fromEntries(Object.entries(withoutBuild)
  .filter(([name]) => !/^(LD_PRELOAD|ASAN_OPTIONS|UBSAN_OPTIONS|TSAN_OPTIONS)$/.test(name)));

const run = promisify(execFile);
// Resolves with the child's output; a failing child rejects with what it printed.
const runIn = (cwd, file, args, env) => run(file, args, { cwd, env, timeout: 120000 })
  .catch((error) => {
    throw new Error(`${error.message}\n${error.stdout}`);
  });

let app;
let installed;

before(async (t) => {
  app = path.join(temporaryDirectory(t, 'kestro-npm-consumer'), 'app');
  fs.cpSync(path.join(__dirname, 'npm-consumer'), app, { recursive: true });
  await runIn(app, 'npm', ['init', '-y'], unsanitized);
  await runIn(app, 'npm', ['install', '--offline', '--no-audit', '--no-fund', tarball],
    unsanitized);
  installed = path.join(app, 'node_modules', '@kestro', 'native');
});

test('the four modules, by the package name: logging, a notification, the start date', async (t) => {
  const logs = temporaryDirectory(t, 'kestro-npm-logs');
  const { stdout } = await runIn(app, process.execPath, ['consumer.js', logs], withoutBuild);
  assert.deepStrictEqual(JSON.parse(stdout), {
    delegate: 'Notification categories were set successfully',
    delivered: null,
    events: [['reply', '42', { reply: 'yes, at noon' }]],
    startDate: { error: "macOS can't tell us the process start time" },
  });
  // One logcore for all four modules: logcontrol's channels hold the
  // JavaScript line and the addon's trace.
  assert.match(filesText(logs, 'kestro-consumer-'), /W.* javascript:0\] a line from the consumer script/);
  assert.match(filesText(logs, 'trace-consumer-'), /"name":"deliverNotification"/);
});

test('the declarations compile in a strict consumer with node16 resolution', async () => {
  await runIn(app, process.execPath, [tsc, '--noEmit', '-p', '.'], unsanitized);
});

test('the package holds the four modules, the libraries they link, nothing built for tests', () => {
  assert.deepStrictEqual(fs.readdirSync(path.join(installed, 'prebuilds')), [target]);
  assert.deepStrictEqual(fs.readdirSync(path.join(installed, 'prebuilds', target)).sort(), [
    'bootclock.node', 'liblogcore.so.1', 'libusernotifications.so', 'logcontrol.node',
    'notifyaddon.node', 'notifysim.node']);
});

test('refusals name the package and say what is missing, instead of the host\'s errors', async () => {
  const cases = [
    ['a platform without binaries', "Object.defineProperty(process, 'arch', { value: 'riscv64' })",
      new RegExp(`^@kestro/native has no binary for ${process.platform}-riscv64: ` +
        `prebuilds/${process.platform}-riscv64/bootclock.node is missing. Build the package on ` +
        `${process.platform}-riscv64 with scripts/package.sh of the Kestro native sources and ` +
        'install that tarball.$')],
    ['a host with an older Node-API',
      "Object.defineProperty(process, 'versions', { value: { ...process.versions, napi: '7' } })",
      /^@kestro\/native needs Node-API version 8; this host offers 7.$/],
  ];
  for (const [name, host, message] of cases) {
    const { stdout } = await runChild(`${host};
      try { require('@kestro/native/bootclock'); } catch (error) {
        console.log(JSON.stringify({ error: error.constructor.name, code: error.code,
          message: error.message }));
      }`, { cwd: app });
    const seen = JSON.parse(stdout);
    assert.strictEqual(seen.error, 'Error', name);
    assert.strictEqual(seen.code, 'ERR_KESTRO_NO_BINARY', name);
    assert.match(seen.message, message, name);
  }
});
