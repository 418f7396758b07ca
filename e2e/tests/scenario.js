// Plays the application (demo/app.js) with the modules of KESTRO_OUT_DIR into
// the log directory given, on the main thread or, with --worker, in a worker
// thread, and prints what JavaScript saw as one line of JSON. Nothing here
// ends the process: it has to exit by itself.
//
//   node scenario.js <logDirectory> [--worker]
'use strict';
const path = require('node:path');
const { isMainThread, parentPort, Worker, workerData } = require('node:worker_threads');
const { runApplication } = require('../../demo/app.js');

const play = (logDirectory) =>
  runApplication({ outDir: path.resolve(process.env.KESTRO_OUT_DIR), logDirectory });

if (!isMainThread) {
  play(workerData).then((report) => parentPort.postMessage(report));
} else if (process.argv.includes('--worker')) {
  new Worker(__filename, { workerData: process.argv[2] })
    .on('message', (report) => console.log(JSON.stringify(report)))
    .on('error', (err) => { console.error(err); process.exitCode = 1; });
} else {
  play(process.argv[2]).then((report) => console.log(JSON.stringify(report)));
}
