// The sanitizer report filter: which reports are ours (from sample reports, in
// every preset), and, under the asan and tsan presets, the runner around real
// faults: one in our code fails the run, one inside node does not.
'use strict';
const { test } = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { splitLog, ownCode, ownLine } = require('../reports');

const repository = path.resolve(__dirname, '../../..');
const runner = path.join(__dirname, '..', 'run-node.js');
const testModules = process.env.KESTRO_TEST_MODULE_DIR;
const faults = path.join(testModules, 'sanitizer_faults.node');
const preload = process.env.LD_PRELOAD || '';
const sanitizer = /libtsan/.test(preload) ? 'thread' : /libasan/.test(preload) ? 'address' : null;

// Module directories of a made-up build: ours.node in one of them.
const buildDir = fs.mkdtempSync(path.join(os.tmpdir(), 'kestro-filter-'));
fs.writeFileSync(path.join(buildDir, 'ours.node'), '');
process.on('exit', () => fs.rmSync(buildDir, { recursive: true, force: true }));
const own = ownCode({ moduleDirs: [buildDir], sourceDir: repository });

const nodeRace = `WARNING: ThreadSanitizer: data race (pid=1)
  Write of size 1 at 0x7b30 by thread T3:
    #0 pthread_mutex_destroy tsan_interceptors_posix.cpp:1312 (libtsan.so+0x42191)
    #1 v8::platform::DefaultJobState::~DefaultJobState() <null> (node+0x1d65445)

  Previous atomic read of size 1 at 0x7b30 by thread T10:
    #0 pthread_cond_wait tsan_interceptors_posix.cpp:1223 (libtsan.so+0x62843)
    #1 v8::platform::DefaultJobState::Join() <null> (node+0x1d65cea)

  Location is heap block of size 192 at 0x7b30 allocated by thread T10:
    #0 operator new(unsigned long) tsan_new_delete.cpp:64 (libtsan.so+0x87323)
    #1 makeThing ../../Zandrel/X.cpp:3 (ours.node+0x10)

  Mutex M12 (0x7b40) created at:
    #0 pthread_mutex_init tsan_interceptors_posix.cpp:1227 (libtsan.so+0x4a6b2)
    #1 makeLock ../../Zandrel/X.cpp:4 (ours.node+0x20)

  Thread T10 (tid=4582, running) created by main thread at:
    #0 pthread_create tsan_interceptors_posix.cpp:1001 (libtsan.so+0x5e686)
    #1 uv_thread_create_ex ../deps/uv/src/unix/thread.c:172 (node+0x18bab10)
    #2 runProducedItem ../../Zandrel/NapiUtils/tests/NapiTestModule.cpp:160 (ours.node+0x182ac)

SUMMARY: ThreadSanitizer: data race (/usr/bin/node+0x1d65445) in ~DefaultJobState()`;

const asanUseAfterFree = (freedBy) => `==7==ERROR: AddressSanitizer: heap-use-after-free on 0x6020
READ of size 2 at 0x6020 thread T0
    #0 0x7f1b in __interceptor_memcpy sanitizer_common_interceptors.inc:827 (libasan.so+0x48060)
    #1 0xc81b in node::Buffer::Fill(v8::FunctionCallbackInfo<v8::Value> const&) <null> (node+0xc81b42)

0x6020 is located 0 bytes inside of 8-byte region [0x6020,0x6028)
freed by thread T0 here:
    #0 0x7f1c in free asan_malloc_linux.cpp:52 (libasan.so+0xb83b8)
    #1 0x7f1d in ${freedBy}

previously allocated by thread T0 here:
    #0 0x7f1e in malloc asan_malloc_linux.cpp:69 (libasan.so+0xb83b9)
    #1 0x7f1f in makeBuffer ../../X.cpp:9 (ours.node+0x30)

SUMMARY: AddressSanitizer: heap-use-after-free in __interceptor_memcpy`;

const threadLeak = `WARNING: ThreadSanitizer: thread leak (pid=1)
  Thread T1 (tid=2, finished) created by main thread at:
    #0 pthread_create tsan_interceptors_posix.cpp:1001 (libtsan.so+0x5e686)
    #1 std::thread::_M_start_thread <null> (libstdc++.so.6+0xd4578)
    #2 startWorker ../../A.cpp:5 (ours.node+0x50)

SUMMARY: ThreadSanitizer: thread leak ../../A.cpp:5 in startWorker`;

test('a report is ours when our code made the access, not by the circumstances', () => {
  const cases = [
    ['node race; our frames only where a thread, lock or block was made', nodeRace, null],
    ['one access made in our module',
      nodeRace.replace('Join() <null> (node+0x1d65cea)', 'Join() <null> (ours.node+0x5)'),
      '#1 v8::platform::DefaultJobState::Join() <null> (ours.node+0x5)'],
    ['our module called node, which made the access',
      nodeRace.replace('(node+0x1d65cea)\n', '(node+0x1d65cea)\n    #2 callIn ../../A.cpp:1 (ours.node+0x9)\n'),
      null],
    ['a library made the access for our module',
      nodeRace.replace('    #1 v8::platform::DefaultJobState::Join() <null> (node+0x1d65cea)',
        '    #1 fmt::v9::format <null> (libfmt.so.9+0x1)\n    #2 logLine ../../A.cpp:2 (ours.node+0x9)'),
      '#2 logLine ../../A.cpp:2 (ours.node+0x9)'],
    ['a thread leak, by where the thread was started', threadLeak,
      '#2 startWorker ../../A.cpp:5 (ours.node+0x50)'],
    ['a module named by its path inside a module directory',
      nodeRace.replace('(node+0x1d65445)\n', `(${buildDir}/ours.node+0x1)\n`),
      `#1 v8::platform::DefaultJobState::~DefaultJobState() <null> (${buildDir}/ours.node+0x1)`],
    ['a module of the same name elsewhere',
      nodeRace.replace('(node+0x1d65445)\n', '(/usr/lib/ours.node+0x1)\n'), null],
    ['an absolute source path in the repository',
      nodeRace.replace('<null> (node+0x1d65cea)', `${repository}/Zandrel/A.cpp:7 (node+0x1)`),
      `#1 v8::platform::DefaultJobState::Join() ${repository}/Zandrel/A.cpp:7 (node+0x1)`],
    ['node freed what node read', asanUseAfterFree('node::Free() <null> (node+0x1)'), null],
    ['our code freed what node read', asanUseAfterFree('release ../../X.cpp:20 (ours.node+0x40)'),
      '#1 0x7f1d in release ../../X.cpp:20 (ours.node+0x40)'],
  ];
  for (const [what, report, expected] of cases) {
    assert.strictEqual(ownLine(report, own), expected, what);
  }
});

test('a log splits into whole reports and the rest', () => {
  const separator = '==================';
  const tsanLog = [separator, nodeRace, separator, separator, nodeRace, separator,
    'ThreadSanitizer: reported 2 warnings', ''].join('\n');
  assert.deepStrictEqual(splitLog(tsanLog).map((part) => part.isReport), [true, true, false]);
  assert.strictEqual(splitLog(tsanLog)[0].text, `${separator}\n${nodeRace}\n${separator}`);

  const ubsan = (line) => `../../A.cpp:${line}:5: runtime error: signed integer overflow\n` +
    `    #0 0x1 in f ../../A.cpp:${line} (ours.node+0x1)\n` +
    `SUMMARY: UndefinedBehaviorSanitizer: undefined-behavior ../../A.cpp:${line}:5 in`;
  const parts = splitLog(`${ubsan(1)}\n${ubsan(2)}\n`);
  assert.deepStrictEqual(parts.map((part) => part.text), [ubsan(1), ubsan(2)]);
  assert.ok(parts.every((part) => part.isReport && ownLine(part.text, own) !== null));
});

// The runner around `script` (node -e), with this test's sanitizer runtime.
function runFiltered(script) {
  const env = { ...process.env, KESTRO_SANITIZER_PRELOAD: preload };
  delete env.LD_PRELOAD;
  return spawnSync(process.execPath,
    [runner, '--modules', testModules, '--sources', repository, '--', process.execPath, '-e', script],
    { env, encoding: 'utf8', timeout: 120000 });
}

const load = `const faults = require(${JSON.stringify(faults)});`;
// Two workers fill one shared buffer at once: node's own memcpy calls race,
// with no frame of ours. They start together (a spin on an atomic counter,
// which the sanitizer does not see as synchronisation).
const nodeOnlyRace = `
  const { Worker } = require('node:worker_threads');
  const shared = new SharedArrayBuffer(1 << 16);
  const fill = \`
    const { workerData } = require('node:worker_threads');
    const arrived = new Int32Array(workerData, 0, 1);
    const bytes = Buffer.from(workerData, 64);
    Atomics.add(arrived, 0, 1);
    while (Atomics.load(arrived, 0) < 2);
    const end = Date.now() + 200;
    while (Date.now() < end) bytes.fill('ab');\`;
  let ended = 0;
  for (let i = 0; i < 2; ++i) {
    new Worker(fill, { eval: true, workerData: shared }).on('exit', () => {
      if (++ended === 2) console.log('went on');
    });
  }`;
// node's own copy into a buffer whose start our module made unaddressable.
const nodeOnlyFault = `${load}
  const bytes = Buffer.alloc(4096);
  faults.poison(bytes);
  bytes.fill('ab');
  faults.unpoison(bytes);
  console.log('went on');`;
const inChild = (script) => `
  const { status } = require('node:child_process').spawnSync(process.execPath, ['-e', ${JSON.stringify(script)}]);
  console.log('child', status);`;

const cases = {
  thread: [
    ['a race between two threads of our module', `${load} faults.race();`, 1, /data race/, 'in our code'],
    ['the same race in a child process', inChild(`${load} faults.race();`), 1, /data race/,
      'in our code'],
    ['a race inside node', nodeOnlyRace, 0, /data race[^]*went on|went on[^]*data race/,
      'outside our code'],
    ['a race inside node in a failing program', `${nodeOnlyRace}; process.exitCode = 3;`, 3,
      /data race/, 'outside our code'],
  ],
  address: [
    ['an overflow in our module', `${load} faults.overflow();`, 128 + 6,
      /heap-buffer-overflow/, 'in our code'],
    ['a fault inside node, and the program goes on', nodeOnlyFault, 0,
      /use-after-poison[^]*went on|went on[^]*use-after-poison/, 'outside our code'],
  ],
};

for (const [what, script, status, output, verdict] of cases[sanitizer] || []) {
  test(`under the runner: ${what}`, () => {
    const run = runFiltered(script);
    const text = run.stdout + run.stderr;
    assert.strictEqual(run.status, status, text);
    assert.match(text, output);
    const verdicts = [...text.matchAll(/^---- sanitizer report \d+ of \d+, process \d+: (in our|outside our) code/gm)]
      .map((match) => `${match[1]} code`);
    assert.ok(verdicts.length > 0 && verdict === 'in our code' ? verdicts.includes(verdict)
      : verdicts.every((v) => v === verdict), text);
  });
}

test('without a sanitizer the runner runs the program as it is', { skip: sanitizer !== null }, () => {
  const run = runFiltered('console.log(process.env.LD_PRELOAD === ""); process.exitCode = 4');
  assert.strictEqual(run.status, 4);
  assert.strictEqual(run.stdout, 'true\n');
});
