// TarGzWriter: a gzip-compressed tar archive (POSIX ustar, with a pax header
// for a name longer than the 100 bytes ustar holds), written as a stream.
'use strict';
const fs = require('node:fs');
const zlib = require('node:zlib');
const { once } = require('node:events');

const kBlock = 512;
const kCopySize = 1 << 20;

function writeOctal(header, offset, length, value) {
  header.write(value.toString(8).padStart(length - 1, '0'), offset, length - 1, 'ascii');
}

function ustarHeader(name, size, mtime, type) {
  const header = Buffer.alloc(kBlock);
  header.write(name, 0, 100, 'utf8');
  writeOctal(header, 100, 8, 0o644);  // mode
  writeOctal(header, 108, 8, 0);      // uid
  writeOctal(header, 116, 8, 0);      // gid
  writeOctal(header, 124, 12, size);
  writeOctal(header, 136, 12, Math.floor(mtime));
  header.write(type, 156, 1, 'ascii');
  header.write('ustar\0' + '00', 257, 8, 'ascii');
  // The checksum counts its own field as blanks.
  header.fill(' ', 148, 156);
  let sum = 0;
  for (const byte of header) sum += byte;
  header.write(`${sum.toString(8).padStart(6, '0')}\0 `, 148, 8, 'ascii');
  return header;
}

// A pax record "<length> path=<name>\n", whose length counts itself.
function paxPathRecord(name) {
  const body = ` path=${name}\n`;
  let length = Buffer.byteLength(body);
  while (String(length).length + Buffer.byteLength(body) !== length) {
    length = String(length).length + Buffer.byteLength(body);
  }
  return Buffer.from(`${length}${body}`);
}

function padding(size) {
  return Buffer.alloc((kBlock - (size % kBlock)) % kBlock);
}

class TarGzWriter {
  constructor(outputPath) {
    this.gzip = zlib.createGzip();
    this.file = fs.createWriteStream(outputPath);
    this.failure = null;
    const fail = (err) => { this.failure ??= err; };
    this.gzip.on('error', fail);
    this.file.on('error', fail);
    this.closed = once(this.file, 'close').catch(() => {});
    this.gzip.pipe(this.file);
  }

  async put(buffer) {
    if (this.failure !== null) throw this.failure;
    if (!this.gzip.write(buffer)) await Promise.race([once(this.gzip, 'drain'), this.closed]);
  }

  async putHeader(name, size, mtime) {
    if (Buffer.byteLength(name) > 100) {
      const record = paxPathRecord(name);
      await this.put(ustarHeader('PaxHeader', record.length, mtime, 'x'));
      await this.put(Buffer.concat([record, padding(record.length)]));
      name = name.slice(-100).replace(/^[^/]*\//, '');
    }
    await this.put(ustarHeader(name, size, mtime, '0'));
  }

  // Adds a file as it is now: its size when added (a file that grows meanwhile
  // is cut there, one that shrinks is filled with zero bytes).
  async addFile(name, filePath) {
    const fd = fs.openSync(filePath, 'r');
    try {
      const stat = fs.fstatSync(fd);
      await this.putHeader(name, stat.size, stat.mtimeMs / 1000);
      let copied = 0;
      while (copied < stat.size) {
        const piece = Buffer.alloc(Math.min(kCopySize, stat.size - copied));
        const n = fs.readSync(fd, piece, 0, piece.length, copied);
        if (n === 0) break;
        await this.put(piece.subarray(0, n));
        copied += n;
      }
      if (copied < stat.size) await this.put(Buffer.alloc(stat.size - copied));
      await this.put(padding(stat.size));
      return stat.size;
    } finally {
      fs.closeSync(fd);
    }
  }

  async addData(name, data, mtime = Date.now() / 1000) {
    await this.putHeader(name, data.length, mtime);
    await this.put(Buffer.concat([data, padding(data.length)]));
  }

  // Ends the archive (two zero blocks) and waits until it is on disk.
  async finish() {
    await this.put(Buffer.alloc(2 * kBlock));
    this.gzip.end();
    await this.closed;
    if (this.failure !== null) throw this.failure;
  }
}

module.exports = { TarGzWriter };
