// The scheduler's hand-off to the JavaScript thread beside Node's thread-safe
// function, in one run. Prints a Markdown table.
//
//   node bench/napi/handoff_bench.js [build/release/tests/handoff_bench.node]
//
// Items per second: 1, 2 and 4 native threads push ITEMS items in all as fast
// as they can; the time runs from the first push until the JavaScript thread
// has run the last item (median of REPEAT runs). Latency: push to run of
// every 64th item of that median run, and of one item at a time from an idle
// loop (the next is pushed GAP_MICROS after the previous has run).
'use strict';
const path = require('node:path');

const modulePath = process.argv[2] ??
  path.join(__dirname, '../../build/release/tests/handoff_bench.node');
const bench = require(path.resolve(modulePath));

const ITEMS = 1_000_000;
const REPEAT = 7;
const PACED_ITEMS = 10_000;
const GAP_MICROS = 100;
const KINDS = { zandrel: 'scheduleAsyncWork', tsfn: 'napi_threadsafe_function' };

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const micros = (ns) => (ns / 1000).toFixed(1);

async function main() {
  const rows = [];
  for (const producers of [1, 2, 4]) {
    // The two hand-offs take turns, so a change of load on a shared machine
    // hits both alike.
    const runs = { zandrel: [], tsfn: [] };
    for (let r = 0; r < REPEAT; ++r) {
      for (const kind of Object.keys(KINDS)) {
        runs[kind].push(await bench.flood(kind, producers, ITEMS / producers));
      }
    }
    const rates = {};
    const floods = {};
    for (const kind of Object.keys(KINDS)) {
      rates[kind] = median(runs[kind].map((run) => ITEMS / run.seconds));
      floods[kind] = runs[kind].find((run) => ITEMS / run.seconds === rates[kind]);
    }
    rows.push({ producers, rates, floods });
  }
  const paced = {};
  for (const kind of Object.keys(KINDS)) {
    await bench.paced(kind, 1000, GAP_MICROS);  // warm-up
  }
  for (const kind of Object.keys(KINDS)) {
    paced[kind] = await bench.paced(kind, PACED_ITEMS, GAP_MICROS);
  }

  const perSecond = (rate) => `${(rate / 1e6).toFixed(2)} M`;
  const latency = (run) => `${micros(run.medianNs)} / ${micros(run.p99Ns)}`;
  console.log(`| Producer threads | ${KINDS.zandrel} items/s | ${KINDS.tsfn} items/s | ratio | ` +
    `push to run, median / p99 (µs): ${KINDS.zandrel} | ${KINDS.tsfn} |`);
  console.log('|---|---|---|---|---|---|');
  for (const { producers, rates, floods } of rows) {
    console.log(`| ${producers} | ${perSecond(rates.zandrel)} | ${perSecond(rates.tsfn)} | ` +
      `${(rates.zandrel / rates.tsfn).toFixed(2)} | ${latency(floods.zandrel)} | ${latency(floods.tsfn)} |`);
  }
  console.log(`| 1, one item at a time from idle | | | | ${latency(paced.zandrel)} | ${latency(paced.tsfn)} |`);
}

main();
