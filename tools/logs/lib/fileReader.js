// LogFileReader: one core file read into records, a chunk at a time, from
// where the last read ended (so a file that grows can be read again).
//
// A record is one message: its first line's header read by the file's layout
// (layouts.js), its lines as written (`raw`, joined by "\n") and its text
// (`message`, the lines without their headers). Lines that belong together
// stay together: in the main layout the lines of one message repeat its
// header, in the sync and rtc layout a message's further lines have no
// header. A drop report of the writer is a record of its own (kind "drop",
// `dropped` messages lost); a line no layout reads is one too (kind
// "unparsed"): both take the time of the record before them.
//
// Text is read as latin1, one character per byte, so that the bytes of a line
// come out exactly as they went in whatever their encoding.
'use strict';
const fs = require('node:fs');
const { UsageError } = require('./errors');
const { openedAt } = require('./logFiles');
const layouts = require('./layouts');
const { tagCategory } = layouts;
const { traceClockOffset } = require('./traceClock');

const kChunkSize = 256 << 10;
const kTailSize = 64 << 10;
// Reads are synchronous: one buffer serves every reader.
const chunk = Buffer.allocUnsafe(kChunkSize);

// One message of a file. `raw`: its lines as written; `message`: the text
// without headers (made when asked: most records are only printed).
class Record {
  constructor(kind, source, raw, time) {
    this.kind = kind;
    this.source = source;
    this.raw = raw;
    this.time = time;
    this.textAt = 0;  // the message is raw from here, less `cut` characters at the end,
    this.cut = 0;
    this.text = null;  // unless it is set here (a message of several lines)
    this.level = null;
    this.rank = null;
    this.zone = null;
    // Where the first line holds the thread, the source file and the tag's
    // second and third components (-1: not there).
    this.threadAt = -1;
    this.threadEnd = -1;
    this.fileAt = -1;
    this.fileEnd = -1;
    this.tagAt = -1;
    this.thirdAt = -1;
    this.thirdEnd = -1;
    this.line = null;
    this.ts = 0;
    this.dropped = 0;
  }

  get thread() {
    return this.threadAt < 0 ? null : Number(this.raw.slice(this.threadAt, this.threadEnd));
  }

  get file() {
    return this.fileAt < 0 ? null : this.raw.slice(this.fileAt, this.fileEnd);
  }

  // The sync and rtc layout's tag: the category's second component's first
  // letter and its third component (undefined in other layouts).
  get tag() {
    if (this.thirdAt < 0) return undefined;
    return {
      initial: this.tagAt < 0 ? '' : this.raw[this.tagAt],
      third: this.raw.slice(this.thirdAt, this.thirdEnd),
    };
  }

  get category() {
    const tag = this.tag;
    return tag === undefined ? null : tagCategory(this.source.channel, tag.initial, tag.third);
  }

  get message() {
    return this.text ?? this.raw.slice(this.textAt, this.raw.length - this.cut);
  }

  // Whether the message contains `needle`.
  contains(needle) {
    if (this.text !== null) return this.text.includes(needle);
    const at = this.raw.indexOf(needle, this.textAt);
    return at >= 0 && (this.cut === 0 || at + needle.length <= this.raw.length - this.cut ||
      this.message.includes(needle));
  }
}

// A record whose last line may still follow.
class Pending {
  constructor(record, header) {
    this.record = record;
    this.header = header;
    this.lines = null;
    this.parts = null;
  }

  add(line, part) {
    if (this.lines === null) {
      this.lines = [this.record.raw];
      this.parts = [this.record.message];
    }
    this.lines.push(line);
    this.parts.push(part);
  }

  finish() {
    if (this.lines !== null) {
      this.record.raw = this.lines.join('\n');
      this.record.text = this.parts.join('\n');
    }
    return this.record;
  }
}

class LogFileReader {
  // `zones`: Map pid -> zone offset in minutes, learnt from the lines read;
  // `accept`: the filter a record must pass; `keepPartial`: a last line
  // without its newline waits for the rest (a file still being written)
  // instead of being taken as it is at the end of the data.
  constructor(file, { zones, accept = () => true, keepPartial = false }) {
    this.file = file;
    this.zones = zones;
    this.accept = accept;
    this.keepPartial = keepPartial;
    this.checked = false;
    this.position = 0;
    this.rest = '';
    this.ready = [];
    this.readyAt = 0;
    this.pending = null;
    this.ctx = {
      opened: file.opened, zone: zones.get(file.pid) ?? null, clock: new layouts.SecondClock(),
      channel: file.channel,
    };
    this.lastTime = openedAt(file, this.ctx.zone);
    this.traceOffset = null;
  }

  // Runs use(fd) on the file opened for reading. Nothing stays open between
  // reads: a folder of many runs has hundreds of streams, and some systems
  // allow a process 256 descriptors.
  withFile(use) {
    let fd;
    try {
      fd = fs.openSync(this.file.path, 'r');
    } catch (err) {
      throw this.readError(err);
    }
    try {
      if (!this.checked && !fs.fstatSync(fd).isFile()) {
        throw Object.assign(new Error(), { code: 'not a regular file' });
      }
      this.checked = true;
      return use(fd);
    } catch (err) {
      throw err instanceof UsageError ? err : this.readError(err);
    } finally {
      fs.closeSync(fd);
    }
  }

  readError(err) {
    return new UsageError(`cannot read ${this.file.path}: ${err.code ?? err.message}`);
  }

  // The next record that passes the filter, or null at the end of the data
  // there is now.
  next() {
    while (this.readyAt === this.ready.length) {
      this.ready = [];
      this.readyAt = 0;
      if (!this.fill()) {
        this.finish();
        if (this.ready.length === 0) return null;
      }
    }
    return this.ready[this.readyAt++];
  }

  // Every record written since the last read.
  readAvailable() {
    const records = [];
    for (let r = this.next(); r !== null; r = this.next()) records.push(r);
    return records;
  }

  // Reads one chunk; false at the end of the data.
  fill() {
    const n = this.withFile((fd) => fs.readSync(fd, chunk, 0, kChunkSize, this.position));
    if (n === 0) return false;
    this.position += n;
    const lines = (this.rest + chunk.toString('latin1', 0, n)).split('\n');
    this.rest = lines.pop();
    for (const line of lines) this.take(line);
    return true;
  }

  // At the end of the data: the pending record is complete (a message is
  // written whole), and so is a last line without newline unless more may come.
  finish() {
    if (!this.keepPartial && this.rest !== '') {
      const line = this.rest;
      this.rest = '';
      this.take(line);
    }
    this.flushPending();
  }

  // Takes the rest of a file that will not grow any more.
  drainFinal() {
    this.keepPartial = false;
    return this.readAvailable();
  }

  take(line) {
    const layout = this.file.layout;
    const record = new Record('line', this.file, line, this.lastTime);
    if (layout === 'main') {
      const p = this.pending;
      if (p !== null && line.startsWith(p.header)) {
        p.add(line, line.slice(p.header.length));
        return;
      }
      const textAt = layouts.parseMainHeader(line, this.ctx, record);
      if (textAt >= 0) {
        this.startRecord(record, textAt, line.slice(0, textAt));
        return;
      }
    } else if (layout === 'tag') {
      const textAt = layouts.parseTagHeader(line, this.ctx, record);
      if (textAt >= 0) {
        this.startRecord(record, textAt, null);
        return;
      }
      if (this.pending !== null && layouts.droppedCount(line) === 0) {
        this.pending.add(line, line);
        return;
      }
    } else if (layouts.parseTraceLine(line, record) >= 0) {
      this.flushPending();
      record.time = this.traceTime(record.ts);
      record.cut = line.endsWith(',') ? 1 : 0;
      this.emit(record);
      return;
    }
    this.flushPending();
    const other = new Record('unparsed', this.file, line, this.lastTime);
    other.dropped = layouts.droppedCount(line);
    if (other.dropped > 0) other.kind = 'drop';
    this.emit(other);
  }

  startRecord(record, textAt, header) {
    this.flushPending();
    record.textAt = textAt;
    if (record.zone !== null && !this.zones.has(this.file.pid)) this.zones.set(this.file.pid, record.zone);
    this.pending = new Pending(record, header);
  }

  flushPending() {
    if (this.pending === null) return;
    const record = this.pending.finish();
    this.pending = null;
    this.emit(record);
  }

  emit(record) {
    this.lastTime = record.time;
    if (this.accept(record)) this.ready.push(record);
  }

  traceTime(ts) {
    if (this.traceOffset === null) this.traceOffset = this.findTraceOffset(ts);
    return this.traceOffset + ts;
  }

  // The clock offset of this file (traceClock.js), from its first event and
  // what its end holds now.
  findTraceOffset(firstTs) {
    const { stat, lines } = this.withFile((fd) => {
      const info = fs.fstatSync(fd, { bigint: true });
      const size = Number(info.size);
      const start = Math.max(0, size - kTailSize);
      const tail = Buffer.alloc(size - start);
      fs.readSync(fd, tail, 0, tail.length, start);
      return { stat: info, lines: tail.toString('latin1').split('\n') };
    });
    let lastTs = firstTs;
    for (let i = lines.length - 1; i >= 0; --i) {
      const event = new Record('line', this.file, lines[i], 0);
      if (layouts.parseTraceLine(lines[i], event) >= 0) {
        lastTs = Math.max(firstTs, event.ts);
        break;
      }
    }
    return traceClockOffset({
      openedAt: openedAt(this.file, this.zones.get(this.file.pid)),
      modifiedAt: Number(stat.mtimeNs / 1000n),
      firstTs, lastTs,
    });
  }
}

module.exports = { LogFileReader, Record };
