// Records written out: as text, each line tagged with the reader's local time
// of its record, its channel, pid and user id, then the line as written; or
// as JSON, one object a line. Text keeps the files' bytes unchanged (latin1
// strings written back as latin1); JSON strings are the text decoded as UTF-8.
'use strict';
const { localTimeFormat, isoTimeFormat } = require('./times');

const kBufferSize = 1 << 20;

// Colours by level (terminal escape sequences): verbose faint, warnings
// yellow, errors red, critical and fatal on red, drop reports magenta.
const kReset = '\x1b[0m';
function colourOf(record) {
  if (record.kind === 'drop') return '\x1b[35m';
  if (record.rank === null || (record.rank >= 2000 && record.rank < 3000)) return '';
  if (record.rank < 2000) return '\x1b[2m';
  if (record.rank < 4000) return '\x1b[33m';
  if (record.rank < 5000) return '\x1b[31m';
  return '\x1b[1;41m';
}

// Colour when writing to a terminal, unless NO_COLOR is set (not empty) or
// the terminal cannot show it.
function wantsColour(stream, env) {
  return Boolean(stream.isTTY) && !env.NO_COLOR && env.TERM !== 'dumb';
}

function utf8(text) {
  // eslint-disable-next-line no-control-regex
  return /[\x80-\xff]/.test(text) ? Buffer.from(text, 'latin1').toString('utf8') : text;
}

function latin1(text) {
  return Buffer.from(text, 'utf8').toString('latin1');
}

// The tag of a file's lines, in latin1 like the lines.
function lineTag(file) {
  return latin1(` ${file.channel.padEnd(6)} p${file.pid ?? '?'} id${file.user ?? '?'} `);
}

// Formatters write a record into an Output and answer whether it asks to
// wait (Output.add).
function textFormatter({ colour }) {
  const time = localTimeFormat();
  const tags = new Map();
  return (record, out) => {
    let tag = tags.get(record.source);
    if (tag === undefined) tags.set(record.source, (tag = lineTag(record.source)));
    const prefix = time.format(record.time) + tag;
    const start = colour ? colourOf(record) : '';
    const lines = record.raw.includes('\n') ? record.raw.split('\n') : [record.raw];
    let wait = false;
    for (const line of lines) {
      out.add(prefix);
      if (start !== '') out.add(start);
      out.add(line);
      wait = out.add(start === '' ? '\n' : `${kReset}\n`);
    }
    return wait;
  };
}

// JSON text of a string, null for null.
function jsonText(text) {
  return text === null ? 'null' : JSON.stringify(utf8(text));
}

function jsonFormatter() {
  const time = isoTimeFormat();
  const files = new Map();
  return (record, out) => {
    let file = files.get(record.source);
    if (file === undefined) {
      const { channel, pid, user } = record.source;
      file = `","channel":"${channel}","pid":${pid},"user":${JSON.stringify(user)},"level":`;
      files.set(record.source, file);
    }
    return out.add(`{"time":"${time.format(record.time)}${file}${record.level === null ? 'null' : `"${record.level}"`}` +
      `,"category":${jsonText(record.category)},"thread":${record.thread},"file":${jsonText(record.file)}` +
      `,"line":${record.line},"message":${jsonText(record.message)}}\n`);
  };
}

// Resolves when the stream takes more, or has closed or failed.
function writable(stream) {
  const events = ['drain', 'close', 'error'];
  return new Promise((resolve) => {
    const done = () => {
      for (const event of events) stream.off(event, done);
      resolve();
    };
    for (const event of events) stream.on(event, done);
  });
}

// Text gathered into a buffer and written in large pieces. A reader that went
// away (a closed pipe) ends the writing quietly: `closed` turns true; any
// other failure is kept in `error`.
class Output {
  constructor(stream, { encoding = 'latin1' } = {}) {
    this.stream = stream;
    this.encoding = encoding;
    this.bytesPerChar = encoding === 'latin1' ? 1 : 3;
    this.buffer = Buffer.allocUnsafe(kBufferSize);
    this.used = 0;
    this.blocked = false;
    this.closed = false;
    this.error = null;
    stream.on('error', (err) => {
      if (err.code !== 'EPIPE') this.error = err;
      this.closed = true;
    });
  }

  // Gathers `text`; true when the stream is full and flush() should be
  // awaited before more is added.
  add(text) {
    const need = text.length * this.bytesPerChar;
    if (need > this.buffer.length - this.used) {
      this.ship();
      if (need > this.buffer.length) {
        this.send(Buffer.from(text, this.encoding));
        return this.blocked;
      }
    }
    this.used += this.buffer.write(text, this.used, this.encoding);
    return this.blocked;
  }

  send(bytes) {
    if (!this.closed && !this.stream.write(bytes)) this.blocked = true;
  }

  // Hands the buffer to the stream (which keeps it) and starts a new one.
  ship() {
    if (this.used === 0) return;
    this.send(this.buffer.subarray(0, this.used));
    this.buffer = Buffer.allocUnsafe(kBufferSize);
    this.used = 0;
  }

  // Writes what is gathered; waits while the stream is full.
  async flush() {
    this.ship();
    if (this.blocked && !this.closed) await writable(this.stream);
    this.blocked = false;
  }
}

module.exports = { textFormatter, jsonFormatter, wantsColour, Output, latin1, utf8 };
