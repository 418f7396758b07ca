// --follow: after the merged past, new lines as they are written, until
// stopped. Every poll lists the directory (a new file: a rotation, a new run,
// a user-id move) and reads what the newest file of each stream has gained;
// an older file of a stream gets a last read when its successor appears.
// Polls are kPollInterval apart: a line shows within that of being written,
// and the disk is asked no more often than a person reads.
'use strict';
const { LogFileReader } = require('./fileReader');
const { listLogFiles, streamKey } = require('./logFiles');
const { selectStreams } = require('./selection');
const { mergeArrays } = require('./merge');

const kPollInterval = 250;

function sleep(ms, stop) {
  return new Promise((resolve) => {
    const timer = setTimeout(resolve, ms);
    stop.wake = () => {
      clearTimeout(timer);
      resolve();
    };
  });
}

// `sources`: the merge's stream sources (their readers at the end of their
// newest file); `known`: the names already taken; `choice`, `zones`,
// `readerOptions` as for the merge; `write(records)` prints (async); `stop`
// an object whose `stopped` turns true (and `wake()` is called) to end;
// `onPoll(start, count)` hears of every poll.
async function follow({ dir, sources, known, choice, zones, readerOptions, write, stop, onPoll }) {
  const current = new Map(sources.map((s) => [streamKey(s.file), s.reader]));
  while (!stop.stopped) {
    await sleep(kPollInterval, stop);
    if (stop.stopped) break;
    const start = Date.now();
    const arrays = [];
    const fresh = listLogFiles(dir).filter((file) => !known.has(file.name));
    fresh.forEach((file) => known.add(file.name));
    // Oldest first within a stream: each new file takes over from the one before.
    for (const stream of selectStreams(fresh, { ...choice, since: null, until: null }, zones)) {
      for (const file of stream) {
        const key = streamKey(file);
        const previous = current.get(key);
        if (previous !== undefined) {
          arrays.push(previous.drainFinal());
        }
        current.set(key, new LogFileReader(file, { ...readerOptions, keepPartial: true }));
      }
    }
    for (const reader of current.values()) arrays.push(reader.readAvailable());
    const records = mergeArrays(arrays);
    await write(records);
    onPoll(start, records.length);
  }
}

module.exports = { follow };
