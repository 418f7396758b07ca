// Times: microseconds since the epoch, read from options and written out.
'use strict';
const { UsageError } = require('./errors');

const kUnits = { s: 1e6, m: 60e6, h: 3600e6, d: 86400e6 };
const kIso =
  /^(\d{4})-(\d\d)-(\d\d)(?:[T ](\d\d):(\d\d)(?::(\d\d)(?:\.(\d{1,6}))?)?)?(Z|[+-]\d\d:?\d\d)?$/;
const kClock = /^(\d\d):(\d\d)(?::(\d\d))?$/;

function pad(n, width = 2) {
  return String(n).padStart(width, '0');
}

// A --since/--until value: an ISO date or date and time (local time unless it
// names a zone), a time of day today, or a span ago such as "10m", "2h",
// "1.5d". `now` in microseconds.
function parseTimeOption(name, text, now) {
  const span = /^(\d+(?:\.\d+)?)([smhd])$/.exec(text);
  if (span !== null) return now - Number(span[1]) * kUnits[span[2]];
  const clock = kClock.exec(text);
  if (clock !== null) {
    const day = new Date(now / 1000);
    day.setHours(Number(clock[1]), Number(clock[2]), Number(clock[3] ?? 0), 0);
    return day.getTime() * 1000;
  }
  const m = kIso.exec(text);
  if (m !== null) {
    const [year, month, day, hour, minute, second] = m.slice(1, 7).map((v) => Number(v ?? 0));
    const inRange = month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 && minute <= 59 && second <= 59;
    const micros = Number((m[7] ?? '').padEnd(6, '0'));
    let ms;
    if (m[8] === undefined) {
      ms = new Date(year, month - 1, day, hour, minute, second).getTime();
    } else {
      const zone = m[8] === 'Z' ? 0 : (m[8][0] === '-' ? -1 : 1) *
        (Number(m[8].slice(1, 3)) * 60 + Number(m[8].slice(-2)));
      ms = Date.UTC(year, month - 1, day, hour, minute, second) - zone * 60000;
    }
    if (inRange) return ms * 1000 + micros;
  }
  throw new UsageError(`bad time for --${name}: "${text}" (an ISO time such as ` +
    '2024-03-12T14:05:09, a time of day such as 14:05, or a span ago such as 10m, 2h, 1d)', { badOption: true });
}

// Formats microseconds, keeping the text of the last second.
class TimeFormat {
  constructor(secondText) {
    this.secondText = secondText;
    this.second = NaN;
    this.text = '';
  }

  format(micros) {
    const second = Math.floor(micros / 1e6);
    if (second !== this.second) {
      this.second = second;
      this.text = this.secondText(second * 1000);
    }
    return `${this.text}.${String(1e6 + micros - second * 1e6).slice(1)}`;
  }
}

// "2024-03-12 14:05:09.004211" in the reader's local time.
function localTimeFormat() {
  return new TimeFormat((ms) => {
    const d = new Date(ms);
    return `${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())} ` +
      `${pad(d.getHours())}:${pad(d.getMinutes())}:${pad(d.getSeconds())}`;
  });
}

// "2024-03-12T13:05:09.004211Z".
function isoTimeFormat() {
  const format = new TimeFormat((ms) => new Date(ms).toISOString().slice(0, 19));
  return { format: (micros) => `${format.format(micros)}Z` };
}

module.exports = { parseTimeOption, localTimeFormat, isoTimeFormat };
