// The files the logging core writes into a log directory, told apart by name:
//
//   <channel>-<file tag>-d<YYYYMMDD>-t<HHMMSS>-p<pid>-id<user id>.log
//
// with the channel word kestro (main log), qsyn (sync engine), rtc or trace,
// and the local date and time at which the file was opened. Other files are
// not the core's and are left alone.
'use strict';
const fs = require('node:fs');
const path = require('node:path');
const { UsageError } = require('./errors');

const kChannels = ['kestro', 'qsyn', 'rtc', 'trace'];
const kLayouts = { kestro: 'main', qsyn: 'tag', rtc: 'tag', trace: 'trace' };
const kName = /^(kestro|qsyn|rtc|trace)-(.*?)-d(\d{4})(\d\d)(\d\d)-t(\d\d)(\d\d)(\d\d)(.*)\.log$/;

// The parts of a core file's name, or null for any other name. `opened` holds
// the calendar fields of the opening time, in the writer's local time.
function parseLogFileName(name) {
  const m = kName.exec(name);
  if (m === null) return null;
  const rest = m[9];
  // "-p<pid>-id<user>" as the core writes it; a forked child's suffix may
  // carry its id elsewhere.
  const exact = /^-p(\d+)-id(.*)$/.exec(rest);
  const pid = exact ? exact[1] : /-p(\d+)(?!\d)/.exec(rest)?.[1];
  const user = exact ? exact[2] : /-id(.*)$/.exec(rest)?.[1];
  const [year, month, day, hour, minute, second] = m.slice(3, 9).map(Number);
  return {
    name,
    channel: m[1],
    layout: kLayouts[m[1]],
    tag: m[2],
    pid: pid === undefined ? null : Number(pid),
    user: user ?? null,
    opened: { year, month, day, hour, minute, second },
  };
}

// The opening time of a file in microseconds since the epoch, with the
// writer's zone offset in minutes east of UTC, or the reader's own zone when
// it is not known.
function openedAt(file, offsetMinutes) {
  const { year, month, day, hour, minute, second } = file.opened;
  const ms = offsetMinutes === undefined || offsetMinutes === null
    ? new Date(year, month - 1, day, hour, minute, second).getTime()
    : Date.UTC(year, month - 1, day, hour, minute, second) - offsetMinutes * 60000;
  return ms * 1000;
}

// Files of one directory in a stable order: channel, tag, pid, user, time.
function compareFiles(a, b) {
  return kChannels.indexOf(a.channel) - kChannels.indexOf(b.channel) ||
    a.tag.localeCompare(b.tag) || (a.pid ?? -1) - (b.pid ?? -1) ||
    String(a.user).localeCompare(String(b.user)) || a.name.localeCompare(b.name);
}

// The core's files in `dir` (each with `path`), sorted. Throws a UsageError
// when the directory cannot be listed.
function listLogFiles(dir) {
  let names;
  try {
    names = fs.readdirSync(dir);
  } catch (err) {
    throw new UsageError(`cannot read the log directory ${dir}: ${err.code ?? err.message}`);
  }
  return names.map(parseLogFileName).filter((file) => file !== null)
    .map((file) => ({ ...file, path: path.join(dir, file.name) }))
    .sort(compareFiles);
}

// The files that one writer fills in turn (a channel of one run for one user):
// only the newest of them can still grow.
function streamKey(file) {
  return `${file.channel}\0${file.tag}\0${file.pid}\0${file.user}`;
}

module.exports = { kChannels, parseLogFileName, openedAt, listLogFiles, compareFiles, streamKey };
