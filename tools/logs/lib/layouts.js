// The line layouts the core writes, read back. Lines are latin1 strings (one
// character per byte) so that any byte sequence survives unchanged.
//
//   main (kestro-*):  I0312 14:05:09.004211+0100 12345 Sender.cpp:88] text
//                     every line of a message repeats the header; the
//                     framework's own layout is the same without the zone
//   tag (qsyn-*, rtc-*):
//                     2024-03-12 14:05:09+0100(src/net/Client.cpp): [W:N:mqtt_client] text
//                     whole seconds; a message's further lines carry no header
//   trace (trace-*):  {"pid":4242,"tid":12345,"name":...,"ts":12345678},
//                     ts: microseconds of the writer's monotonic clock
//
// Each parser fills the fields of a record (fileReader.js) and answers where
// the message text starts, or -1 when the line is not of its layout. They
// read characters by position instead of matching expressions, and note where
// the thread, file and tag are instead of cutting them out (only JSON and the
// category filter need them): they run for every line of a folder that may
// hold gigabytes.
'use strict';
const { kMainLetters, kTagLetters, kTraceLevel } = require('./levels');

// The rotating writer's report, and the framework's file writer's.
const kDropReports = [
  /^(\d+) log messages were discarded because the logging rate exceeded the write rate$/,
  /^(\d+) log messages discarded: logging faster than we can write$/,
];

const kZero = 48;
const kSpace = 32;
const kPlus = 43;
const kMinus = 45;

function isDigit(line, i) {
  const c = line.charCodeAt(i);
  return c >= kZero && c <= kZero + 9;
}

// The decimal number of `count` digits at `at`, or -1 when one is not a digit.
function number(line, at, count) {
  let n = 0;
  for (let i = at; i < at + count; ++i) {
    const d = line.charCodeAt(i) - kZero;
    if (d < 0 || d > 9) return -1;
    n = n * 10 + d;
  }
  return n;
}

// The end of the run of digits from `at`.
function digitsEnd(line, at) {
  let i = at;
  while (isDigit(line, i)) ++i;
  return i;
}

// "+0100" at `at` -> 60 (minutes east of UTC), or null.
function zoneAt(line, at) {
  const sign = line.charCodeAt(at);
  if (sign !== kPlus && sign !== kMinus) return null;
  const hours = number(line, at + 1, 2);
  const minutes = number(line, at + 3, 2);
  if (hours < 0 || minutes < 0) return null;
  return (sign === kMinus ? -1 : 1) * (hours * 60 + minutes);
}

// Whether `line` has the characters of `pattern` where it has no "#" (which
// stand for digits), from `at`.
function shaped(line, at, pattern) {
  for (let i = 0; i < pattern.length; ++i) {
    if (pattern[i] === '#' ? !isDigit(line, at + i) : line[at + i] !== pattern[i]) return false;
  }
  return true;
}

// The number of messages a drop report says were lost, or 0 when the line is
// not one.
function droppedCount(line) {
  if (!isDigit(line, 0)) return 0;
  for (const pattern of kDropReports) {
    const m = pattern.exec(line);
    if (m !== null) return Number(m[1]);
  }
  return 0;
}

function calendarMicros(year, month, day, hour, minute, second, zone) {
  if (zone === null) return new Date(year, month - 1, day, hour, minute, second).getTime() * 1000;
  return (Date.UTC(year, month - 1, day, hour, minute, second) - zone * 60000) * 1000;
}

// The microseconds of the second a line names, kept for the next lines of the
// same second: nearly every line shares its second with the one before. The
// key is the line's text from `at`, `length` characters, and its zone.
class SecondClock {
  constructor() {
    this.text = null;
    this.zone = null;
    this.micros = 0;
  }

  at(line, at, length, zone, compute) {
    if (this.text === null || this.zone !== zone || !line.startsWith(this.text, at)) {
      this.text = line.slice(at, at + length);
      this.zone = zone;
      this.micros = compute();
    }
    return this.micros;
  }
}

// The main layout has no year: it is the year of the file's opening, or the
// one before or after when the line's month lies more than half a year away
// from the opening's (a file that spans New Year).
function yearOf(month, opened) {
  const diff = month - opened.month;
  if (diff > 6) return opened.year - 1;
  if (diff < -6) return opened.year + 1;
  return opened.year;
}

// "#### ##:##:##.######": month and day, time, microseconds (after the letter).
const kMainStamp = '#### ##:##:##.######';

// `ctx`: {opened (calendar fields of the file's opening), zone (minutes, for
// lines without one; null: the reader's own zone), clock (SecondClock),
// channel}.
function parseMainHeader(line, ctx, record) {
  const letter = kMainLetters[line[0]];
  if (letter === undefined || !shaped(line, 1, kMainStamp)) return -1;
  let i = 21;
  const zone = zoneAt(line, i);
  if (zone !== null) i += 5;
  if (line.charCodeAt(i) !== kSpace) return -1;
  while (line.charCodeAt(i) === kSpace) ++i;
  const threadEnd = digitsEnd(line, i);
  if (threadEnd === i || line.charCodeAt(threadEnd) !== kSpace) return -1;
  // The file's base name runs to the first ":<digits>] ".
  for (let close = line.indexOf('] ', threadEnd + 1); close >= 0; close = line.indexOf('] ', close + 1)) {
    let colon = close - 1;
    while (colon > threadEnd && isDigit(line, colon)) --colon;
    if (colon < close - 1 && line[colon] === ':' && colon > threadEnd) {
      const lineZone = zone ?? ctx.zone;
      const month = number(line, 1, 2);
      record.time = ctx.clock.at(line, 1, 13, lineZone, () => calendarMicros(yearOf(month, ctx.opened),
        month, number(line, 3, 2), number(line, 6, 2), number(line, 9, 2), number(line, 12, 2), lineZone)) +
        number(line, 15, 6);
      [record.rank, record.level] = letter;
      record.zone = zone;
      record.threadAt = i;
      record.threadEnd = threadEnd;
      record.fileAt = threadEnd + 1;
      record.fileEnd = colon;
      record.line = number(line, colon + 1, close - colon - 1);
      return close + 2;
    }
  }
  return -1;
}

// The category as far as the tag tells it: the channel word (its categories'
// root in the core's configuration), the second component's first letter
// followed by "*" for the letters left out, and the third component.
function tagCategory(channel, initial, third) {
  if (third !== '') return `${channel}.${initial === '' ? '' : `${initial}*`}.${third}`;
  return initial === '' ? channel : `${channel}.${initial}*`;
}

// "####-##-## ##:##:##": date and time, then the zone and "(".
const kTagStamp = '####-##-## ##:##:##';

function parseTagHeader(line, ctx, record) {
  if (!shaped(line, 0, kTagStamp)) return -1;
  const zone = zoneAt(line, 19);
  if (zone === null || line[24] !== '(') return -1;
  const fileEnd = line.indexOf('): [', 25);
  if (fileEnd < 0) return -1;
  const letterAt = fileEnd + 4;
  const letter = line[letterAt];
  if (letter === undefined || letter < 'A' || letter > 'Z' || line[letterAt + 1] !== ':') return -1;
  let thirdAt = letterAt + 2;
  const initialAt = line[thirdAt] === ':' ? -1 : thirdAt++;
  if (line[thirdAt] !== ':' || line[initialAt] === ']') return -1;
  const close = line.indexOf('] ', ++thirdAt);
  if (close < 0) return -1;
  record.time = ctx.clock.at(line, 0, 24, zone, () => calendarMicros(number(line, 0, 4), number(line, 5, 2),
    number(line, 8, 2), number(line, 11, 2), number(line, 14, 2), number(line, 17, 2), zone));
  [record.rank, record.level] = kTagLetters[letter] ?? kTagLetters.U;
  record.zone = zone;
  record.tagAt = initialAt;
  record.thirdAt = thirdAt;
  record.thirdEnd = close;
  record.fileAt = 25;
  record.fileEnd = fileEnd;
  return close + 2;
}

// The event's thread and monotonic time stamp (`ts`); its time comes from the
// file's clock offset (traceClock.js). The message is the event without the
// line's comma.
function parseTraceLine(line, record) {
  if (!line.startsWith('{"pid":')) return -1;
  const tidAt = digitsEnd(line, 7);
  if (!line.startsWith(',"tid":', tidAt)) return -1;
  const tidEnd = digitsEnd(line, tidAt + 7);
  const end = line.endsWith('},') ? line.length - 2 : line.length - 1;
  if (line[end] !== '}' || tidEnd === tidAt + 7 || line[tidEnd] !== ',') return -1;
  const tsAt = line.lastIndexOf('"ts":', end) + 5;
  if (tsAt < tidEnd + 5 || tsAt === end || digitsEnd(line, tsAt) !== end) return -1;
  record.ts = Number(line.slice(tsAt, end));
  [record.rank, record.level] = kTraceLevel;
  record.threadAt = tidAt + 7;
  record.threadEnd = tidEnd;
  return 0;
}

// Whether a category name starting with `prefix` could have been written with
// this tag. The tag keeps the second component's first letter and the whole
// third component; further components are not written, so they match anything.
function tagMatchesPrefix(prefix, channel, { initial, third }) {
  const parts = prefix.split('.');
  const last = parts.length - 1;
  const known = (i, value) => (i === last ? value.startsWith(parts[i]) : value === parts[i]);
  return parts.every((part, i) => {
    if (i === 0) return known(0, channel);
    if (i === 1) {
      if (initial === '') return part === '';
      return part === '' ? i === last : part.startsWith(initial);
    }
    if (i === 2) return third === '' ? part === '' : known(2, third);
    return true;
  });
}

module.exports = {
  parseMainHeader, parseTagHeader, parseTraceLine, droppedCount, tagMatchesPrefix, tagCategory,
  SecondClock,
};
