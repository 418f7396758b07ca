// The messaging application's part in Node, as the demo plays it:
//
//   node demo/app.js [logDirectory]
//
// It initialises logging with tracing on into the log directory (a new one
// under the system's temporary directory unless given; printed first), loads
// both addons, sets the notification handler, asks for badge permission and
// reads the settings, delivers two notifications, lets the user (the
// simulated centre) reply to one and click the other, withdraws both (while
// one can still be answered, the process stays alive), passes a wrong argument
// once, asks for the process start date, logs from JavaScript, moves to a new
// user id, flushes, then (main only) puts files of earlier runs into the
// folder, bounds the main channel's files through the master configuration
// ("maxLogFiles", "maxTotalLogSize") and shows the folder before and after,
// and shows each file written with its first lines. The
// trace files are complete once the process has ended (the last events are
// written out at exit): scripts/demo.sh then turns them into a trace-viewer
// file with tools/trace/to-viewer.js.
//
// The modules come from KESTRO_OUT_DIR, else build/default/out. The simulated
// centre's control module is loaded before the addon, so the addon talks to
// it and not to the desktop's notification service.
//
// runApplication({outDir, logDirectory, say}) plays the same steps without
// showing the files and answers what JavaScript saw; the end-to-end test runs
// it, on the main thread and in a worker.
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const kFileTag = 'demo';
const kFirstUser = '1001';
const kSecondUser = '1002';
const kLinesShown = 3;
const kShownWidth = 110;
const kSettingsPerLine = 4;

// What an error carries across to JavaScript, as plain values.
function errorReport(err) {
  return { type: err.constructor.name, message: err.message, code: err.code,
    fileName: err.fileName, lineNumber: err.lineNumber, stack: err.stack };
}

async function notifications(addon, sim, say) {
  const events = [];
  const handler = (event, id, data) => {
    events.push([event, id, data]);
    say(`  handler: ${event} ${id} ${JSON.stringify(data)}`);
  };
  say(`initNotificationCenterDelegate: ${addon.initNotificationCenterDelegate('Reply', handler)}`);
  const badge = await addon.requestBadgePermission();
  say(`requestBadgePermission: ${JSON.stringify(badge)}`);
  const settings = await addon.getNotificationSettings();
  const entries = Object.entries(settings).map(([name, value]) => `${name}=${value}`);
  say(`getNotificationSettings: ${entries.slice(0, kSettingsPerLine).join(' ')}`);
  say(`  ${entries.slice(kSettingsPerLine).join(' ')}`);
  const delivered = [
    await addon.deliverNotification('Ada', 'Team chat', 'Lunch at noon?', false, 'chat-1', '42', true),
    await addon.deliverNotification('Bob', null, 'Missed call', true, 'call-1', '43', false),
  ];
  say(`deliverNotification: chat-1 (reply field) ${delivered[0]}, call-1 ${delivered[1]}`);
  say('the user replies to chat-1 and clicks call-1:');
  await sim.respond('chat-1', { action: 'REPLY', text: 'Yes, see you there' });
  await sim.respond('call-1', { action: 'default' });
  addon.removeNotificationsWithGroupIDs(['chat-1', 'call-1']);
  say('removeNotificationsWithGroupIDs: chat-1 and call-1, answered');
  let argumentError = null;
  try {
    addon.deliverNotification(42, null, null, false, 'chat-2', '44', false);
  } catch (err) {
    argumentError = errorReport(err);
    say(`deliverNotification(42, ...) throws ${err.constructor.name}: ${err.message}`);
  }
  return { badge, settings, delivered, events, argumentError };
}

async function runApplication({ outDir, logDirectory, say = () => {} }) {
  const load = (name) => require(path.join(outDir, `${name}.node`));
  const logcontrol = load('logcontrol');
  logcontrol.initLogging(logDirectory, kFileTag, kFirstUser, /* traceEnabled */ true);
  say(`initLogging: user ${kFirstUser}, tracing on`);
  const sim = load('notifysim');  // first: the addon then uses the simulated centre
  const addon = load('notifyaddon');
  const bootclock = load('bootclock');
  const report = await notifications(addon, sim, say);
  report.rejection = await bootclock.getProcessStartDate().then(() => null, errorReport);
  const { message, code, fileName, lineNumber } = report.rejection ?? {};
  say(`getProcessStartDate rejects: ${message} (code ${code}, ${fileName}:${lineNumber})`);
  logcontrol.log('app.ui', 'INFO', 'main window shown');
  logcontrol.log('qsyn.Database', 'DBG', 'synced 3 conversations');
  logcontrol.log('rtc', 'WARN', 'no camera found');
  logcontrol.updateLoggingWithUserId(kSecondUser);
  logcontrol.log('app.ui', 'INFO', `signed in as ${kSecondUser}`);
  say(`logged 4 lines from JavaScript, the last after moving to user ${kSecondUser}`);
  logcontrol.flushLogs();
  return report;
}

// Main channel files of earlier runs (by processes long gone), oldest first.
const kEarlierRuns = 6;
const kMaxLogFiles = '4';
const kMaxTotalLogSize = '1000000';

function mainChannelFiles(dir) {
  return fs.readdirSync(dir).filter((name) => name.startsWith(`kestro-${kFileTag}-`)).sort();
}

// Bounds the main channel through the master configuration; its new handler
// deletes the oldest files over the limits as it starts.
function showRetention(outDir, dir, say) {
  for (let i = 0; i < kEarlierRuns; ++i) {
    const name = `kestro-${kFileTag}-d2025010${i + 1}-t090000-p99999990${i}-id${kFirstUser}.log`;
    fs.writeFileSync(path.join(dir, name), `an earlier run's line ${i}\n`);
  }
  const logcontrol = require(path.join(outDir, 'logcontrol.node'));
  say(`\nmain channel files before (${mainChannelFiles(dir).length}):`);
  mainChannelFiles(dir).forEach((name) => say(`  ${name}`));
  const config = logcontrol.getCompleteMasterLogConfig();
  Object.assign(config.handlers.kestroLog.options,
    { maxLogFiles: kMaxLogFiles, maxTotalLogSize: kMaxTotalLogSize });
  logcontrol.setCompleteMasterLogConfig(config);
  logcontrol.flushLogs();
  say(`setCompleteMasterLogConfig: kestroLog maxLogFiles ${kMaxLogFiles}, maxTotalLogSize ${kMaxTotalLogSize}`);
  say(`main channel files after (${mainChannelFiles(dir).length}):`);
  mainChannelFiles(dir).forEach((name) => say(`  ${name}`));
}

function showFiles(dir) {
  const cut = (line) => (line.length > kShownWidth ? `${line.slice(0, kShownWidth - 3)}...` : line);
  for (const name of fs.readdirSync(dir).sort()) {
    const lines = fs.readFileSync(path.join(dir, name), 'utf8').split('\n').filter((l) => l !== '');
    console.log(`\n${name} (${lines.length} lines)`);
    lines.slice(0, kLinesShown).forEach((line) => console.log(`  ${cut(line)}`));
  }
}

async function main(args) {
  const outDir = path.resolve(process.env.KESTRO_OUT_DIR ?? path.join(__dirname, '..', 'build', 'default', 'out'));
  const logDirectory = args[0] !== undefined ? path.resolve(args[0])
    : fs.mkdtempSync(path.join(os.tmpdir(), 'kestro-demo-'));
  fs.mkdirSync(logDirectory, { recursive: true });
  console.log(`Log directory: ${logDirectory}`);
  await runApplication({ outDir, logDirectory, say: console.log });
  showRetention(outDir, logDirectory, console.log);
  showFiles(logDirectory);
}

if (require.main === module) {
  main(process.argv.slice(2)).catch((err) => {
    console.error(err);
    process.exitCode = 1;
  });
}

module.exports = { runApplication };
