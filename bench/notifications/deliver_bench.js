// deliverNotification on the simulated centre, from the call to the settled
// promise: round trips one at a time (median, p99), then deliveries per second
// with a fixed number in flight. Figures: docs/benchmarks.md.
//
//   node bench/notifications/deliver_bench.js [outDir] [--rounds N]
//
// outDir defaults to build/release/out. Each system version takes its own
// path: 14.0 asks for the settings and authorisation before every add (three
// hops through the centre's threads and back), 10.14 adds at once (one).
'use strict';
const path = require('node:path');

const args = process.argv.slice(2);
const outDir = path.resolve(args.find((a) => !a.startsWith('--')) ?? 'build/release/out');
const roundsAt = args.indexOf('--rounds');
const rounds = roundsAt >= 0 ? Number(args[roundsAt + 1]) : 3;

const sim = require(path.join(outDir, 'notifysim.node'));
const addon = require(path.join(outDir, 'notifyaddon.node'));

const kSequential = 5000;
const kWarmUp = 500;
const kInFlight = 1000;
const kTotal = 100000;
// Identifiers repeat, so the centre replaces rather than piles up notifications.
const kIdentifiers = 1000;

const deliver = (i) => addon.deliverNotification('Title', 'Subtitle', 'Body', false,
  `group-${i % kIdentifiers}`, String(i), true);

function percentile(sorted, p) {
  return sorted[Math.min(sorted.length - 1, Math.floor(p * sorted.length))];
}

async function roundTrips() {
  const micros = [];
  for (let i = 0; i < kWarmUp + kSequential; ++i) {
    const start = process.hrtime.bigint();
    await deliver(i);
    if (i >= kWarmUp) micros.push(Number(process.hrtime.bigint() - start) / 1000);
  }
  micros.sort((a, b) => a - b);
  return { median: percentile(micros, 0.5), p99: percentile(micros, 0.99) };
}

// Keeps kInFlight deliveries outstanding until kTotal have settled.
function throughput() {
  return new Promise((resolve, reject) => {
    let started = 0;
    let settled = 0;
    const begin = process.hrtime.bigint();
    const next = () => {
      if (started === kTotal) return;
      deliver(started++).then(() => {
        if (++settled === kTotal) {
          resolve(kTotal / (Number(process.hrtime.bigint() - begin) / 1e9));
        } else {
          next();
        }
      }, reject);
    };
    for (let i = 0; i < kInFlight; ++i) next();
  });
}

async function main() {
  const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];
  console.log('| system | round trip median (µs) | p99 (µs) | deliveries/s, 1,000 in flight |');
  console.log('|---|---|---|---|');
  for (const osVersion of ['14.0', '10.14']) {
    const medians = [];
    const p99s = [];
    const rates = [];
    for (let r = 0; r < rounds; ++r) {
      sim.reset();
      sim.configure({ osVersion, authorizationStatus: 2 });
      const trips = await roundTrips();
      medians.push(trips.median);
      p99s.push(trips.p99);
      sim.reset();
      sim.configure({ osVersion, authorizationStatus: 2 });
      rates.push(await throughput());
    }
    console.log(`| ${osVersion} | ${median(medians).toFixed(1)} | ${median(p99s).toFixed(1)} | ` +
      `${Math.round(median(rates)).toLocaleString('en-US')} |`);
  }
}

main().catch((err) => {
  console.error(err);
  process.exitCode = 1;
});
