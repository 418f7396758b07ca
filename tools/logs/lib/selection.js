// Which files a reading takes: those of the chosen pids and users whose time
// span meets the chosen window, grouped into streams (the files one writer
// filled in turn, oldest first).
'use strict';
const fs = require('node:fs');
const { UsageError } = require('./errors');
const { openedAt, streamKey } = require('./logFiles');
const { parseMainHeader, parseTagHeader, SecondClock } = require('./layouts');
const { Record } = require('./fileReader');

// A line may carry a time somewhat before its file was opened (it waited in
// the writer's queue), and a file name has whole seconds.
const kMargin = 5e6;
const kProbeSize = 4096;

// The zone offset (minutes east of UTC) of each pid, from the first line of
// one of its main or sync/rtc files: trace files and file names carry none.
function probeZones(files) {
  const zones = new Map();
  const probe = Buffer.alloc(kProbeSize);
  for (const file of files) {
    if (file.layout === 'trace' || zones.has(file.pid)) continue;
    let n = 0;
    try {
      const fd = fs.openSync(file.path, 'r');
      try { n = fs.readSync(fd, probe, 0, kProbeSize, 0); } finally { fs.closeSync(fd); }
    } catch {
      continue;  // reported when the file itself is read
    }
    const line = probe.toString('latin1', 0, n).split('\n')[0];
    const ctx = { opened: file.opened, zone: null, clock: new SecondClock(), channel: file.channel };
    const record = new Record('line', file, line, 0);
    const parse = file.layout === 'main' ? parseMainHeader : parseTagHeader;
    if (parse(line, ctx, record) >= 0 && record.zone !== null) zones.set(file.pid, record.zone);
  }
  return zones;
}

function statFile(file) {
  let stat;
  try {
    stat = fs.statSync(file.path);
  } catch (err) {
    throw new UsageError(`cannot read ${file.path}: ${err.code ?? err.message}`);
  }
  if (!stat.isFile()) throw new UsageError(`cannot read ${file.path}: not a regular file`);
  try {
    fs.accessSync(file.path, fs.constants.R_OK);
  } catch (err) {
    throw new UsageError(`cannot read ${file.path}: ${err.code ?? err.message}`);
  }
  return stat;
}

// Streams of files: `files` as listLogFiles gives them, `choice` {pids, users
// (Sets or null), since, until (microseconds or null)}. Each file gets its
// `span` [start, end]: from its opening to the opening of the next file of
// its stream, or to its last change. With `keepNewest` the newest file of
// each stream is kept whatever the window (it may still grow). Throws a UsageError for a file that is
// not a readable regular file.
function selectStreams(files, choice, zones, { keepNewest = false } = {}) {
  const byKey = new Map();
  for (const file of files) {
    if (choice.pids !== null && !choice.pids.has(file.pid)) continue;
    if (choice.users !== null && !choice.users.has(file.user)) continue;
    const stat = statFile(file);
    file.size = stat.size;
    file.modifiedAt = stat.mtimeMs * 1000;
    file.openedAt = openedAt(file, zones.get(file.pid));
    const key = streamKey(file);
    if (!byKey.has(key)) byKey.set(key, []);
    byKey.get(key).push(file);
  }
  const streams = [];
  for (const stream of byKey.values()) {
    stream.sort((a, b) => a.openedAt - b.openedAt || a.name.localeCompare(b.name));
    stream.forEach((file, i) => {
      const next = stream[i + 1];
      file.span = [file.openedAt - kMargin,
        next === undefined ? Math.max(file.modifiedAt, file.openedAt) + kMargin : next.openedAt + kMargin];
    });
    const chosen = stream.filter((file, i) => (keepNewest && i === stream.length - 1) ||
      (choice.since === null || file.span[1] >= choice.since) &&
      (choice.until === null || file.span[0] <= choice.until));
    if (chosen.length > 0) streams.push(chosen);
  }
  return streams;
}

module.exports = { probeZones, selectStreams };
