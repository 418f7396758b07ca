// One stream of records in time order out of many files.
//
// The files of one writer follow each other in time, so each stream (a
// channel of a run for a user) is read file after file with one file open at
// a time. Lines that several threads queued reach a file a little out of time
// order: each stream puts its records in order within kReorderWindow, and
// keeps file order beyond it. The streams are merged by the time of their next
// record; records of equal time keep their file order, and come in stream
// order across streams.
'use strict';
const { LogFileReader } = require('./fileReader');

const kReorderWindow = 2e6;

// A binary min-heap under `before(a, b)`.
class MinHeap {
  constructor(before) {
    this.before = before;
    this.items = [];
  }

  get size() {
    return this.items.length;
  }

  peek() {
    return this.items[0];
  }

  push(item) {
    const items = this.items;
    let i = items.push(item) - 1;
    while (i > 0) {
      const parent = (i - 1) >> 1;
      if (!this.before(items[i], items[parent])) break;
      [items[i], items[parent]] = [items[parent], items[i]];
      i = parent;
    }
  }

  pop() {
    const items = this.items;
    const top = items[0];
    const last = items.pop();
    if (items.length > 0) {
      items[0] = last;
      this.down(0);
    }
    return top;
  }

  // The top item changed: moves it to its place.
  down(i) {
    const items = this.items;
    for (;;) {
      const left = 2 * i + 1;
      if (left >= items.length) return;
      const right = left + 1;
      const child = right < items.length && this.before(items[right], items[left]) ? right : left;
      if (!this.before(items[child], items[i])) return;
      [items[i], items[child]] = [items[child], items[i]];
      i = child;
    }
  }
}

// Records by time, then by the order they were read in (`seq`).
const earlier = (a, b) => a.time < b.time || (a.time === b.time && a.seq < b.seq);

// Records kept in time order, oldest first. Nearly all come in order and go
// to the end; one that comes late moves back only past the few newer ones.
class ReorderWindow {
  constructor() {
    this.items = [];
    this.head = 0;
  }

  get size() {
    return this.items.length - this.head;
  }

  peek() {
    return this.items[this.head];
  }

  push(record) {
    const items = this.items;
    let i = items.length;
    while (i > this.head && items[i - 1].time > record.time) --i;
    if (i === items.length) items.push(record); else items.splice(i, 0, record);
  }

  pop() {
    const record = this.items[this.head++];
    if (this.head >= 4096 && this.head * 2 >= this.items.length) {
      this.items = this.items.slice(this.head);
      this.head = 0;
    }
    return record;
  }
}

// The files of one stream read in turn, their records in time order within
// the window. The newest file's reader stays open at the end, for following;
// only it may wait for the rest of a last line.
class StreamSource {
  constructor(files, readerOptions) {
    this.files = files;
    this.readerOptions = readerOptions;
    this.index = -1;
    this.window = new ReorderWindow();
    this.latest = -Infinity;
    this.openNext();
  }

  get file() {
    return this.files[this.index];
  }

  openNext() {
    this.index += 1;
    const newest = this.index === this.files.length - 1;
    this.reader = new LogFileReader(this.file,
      { ...this.readerOptions, keepPartial: newest && this.readerOptions.keepPartial });
  }

  read() {
    for (;;) {
      const record = this.reader.next();
      if (record !== null || this.index === this.files.length - 1) return record;
      this.openNext();
    }
  }

  next() {
    while (this.window.size === 0 || this.window.peek().time + kReorderWindow > this.latest) {
      const record = this.read();
      if (record === null) break;
      if (record.time > this.latest) this.latest = record.time;
      this.window.push(record);
    }
    return this.window.size === 0 ? null : this.window.pop();
  }
}

// Yields the records of sources (each with next() -> record or null) in time
// order; ties go to the source listed first.
function* mergeSources(sources) {
  const heap = new MinHeap((a, b) => a.head.time < b.head.time ||
    (a.head.time === b.head.time && a.order < b.order));
  sources.forEach((source, order) => {
    source.order = order;
    source.head = source.next();
    if (source.head !== null) heap.push(source);
  });
  while (heap.size > 0) {
    const top = heap.peek();
    yield top.head;
    top.head = top.next();
    if (top.head === null) heap.pop(); else heap.down(0);
  }
}

// The records of the streams (arrays of files) in time order. The stream
// sources are left in `sources` (for following).
function mergeStreams(streams, readerOptions, sources = []) {
  sources.push(...streams.map((files) => new StreamSource(files, readerOptions)));
  return mergeSources(sources);
}

// Arrays of records (each in file order) merged into one array in time order.
function mergeArrays(arrays) {
  return [...mergeSources(arrays.map((records) => {
    records.forEach((record, seq) => { record.seq = seq; });
    records.sort(earlier);
    let i = 0;
    return { next: () => (i < records.length ? records[i++] : null) };
  }))];
}

module.exports = { mergeStreams, mergeArrays };
