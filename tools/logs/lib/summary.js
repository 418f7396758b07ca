// --summary: per channel and level, how many lines and the time span they
// cover; the drop reports of each channel added up, and the lines no layout
// reads.
'use strict';
const { localTimeFormat, isoTimeFormat } = require('./times');
const { kChannels } = require('./logFiles');

const kLevelOrder = ['VERBOSE', 'INFO', 'WARNING', 'ERROR', 'CRITICAL', 'FATAL'];
const kUnparsed = '(unread)';

class Summary {
  // `files`: how many files were read.
  constructor(files) {
    this.rows = new Map();   // channel\0level -> {channel, level, lines, first, last}
    this.drops = new Map();  // channel -> {channel, reports, messages}
    this.files = files;
  }

  add(record) {
    const channel = record.source.channel;
    if (record.kind === 'drop') {
      const drop = this.drops.get(channel) ?? { channel, reports: 0, messages: 0 };
      drop.reports += 1;
      drop.messages += record.dropped;
      this.drops.set(channel, drop);
      return;
    }
    const level = record.kind === 'unparsed' ? kUnparsed : record.level;
    const key = `${channel}\0${level}`;
    const row = this.rows.get(key);
    if (row === undefined) {
      this.rows.set(key, { channel, level, lines: 1, first: record.time, last: record.time });
    } else {
      row.lines += 1;
      if (record.time < row.first) row.first = record.time;
      if (record.time > row.last) row.last = record.time;
    }
  }

  sortedRows() {
    const rank = (level) => (level === kUnparsed ? kLevelOrder.length : kLevelOrder.indexOf(level));
    return [...this.rows.values()].sort((a, b) =>
      kChannels.indexOf(a.channel) - kChannels.indexOf(b.channel) || rank(a.level) - rank(b.level));
  }

  sortedDrops() {
    return [...this.drops.values()].sort((a, b) => kChannels.indexOf(a.channel) - kChannels.indexOf(b.channel));
  }

  totalDropped() {
    return [...this.drops.values()].reduce((sum, d) => sum + d.messages, 0);
  }

  toJson() {
    const time = isoTimeFormat();
    return `${JSON.stringify({
      files: this.files,
      levels: this.sortedRows().map((r) => ({ ...r, first: time.format(r.first), last: time.format(r.last) })),
      dropped: this.sortedDrops(),
      droppedTotal: this.totalDropped(),
    })}\n`;
  }

  toText() {
    const time = localTimeFormat();
    const table = [['channel', 'level', 'lines', 'first', 'last'],
      ...this.sortedRows().map((r) => [r.channel, r.level, String(r.lines), time.format(r.first), time.format(r.last)])];
    const widths = table[0].map((_, c) => Math.max(...table.map((row) => row[c].length)));
    const lines = table.map((row) => row.map((cell, c) =>
      (c === 2 ? cell.padStart(widths[c]) : cell.padEnd(widths[c]))).join('  ').trimEnd());
    lines.push(`files: ${this.files}`);
    const drops = this.sortedDrops();
    if (drops.length === 0) {
      lines.push('dropped: none');
    } else {
      for (const d of drops) {
        lines.push(`dropped: ${d.channel} ${d.messages} messages in ${d.reports} ` +
          `report${d.reports === 1 ? '' : 's'}`);
      }
      lines.push(`dropped in all: ${this.totalDropped()} messages; the files are incomplete`);
    }
    return `${lines.join('\n')}\n`;
  }
}

module.exports = { Summary };
