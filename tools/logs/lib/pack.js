// --pack: the chosen files, whole, in a .tar.gz under one folder named after
// the archive, with the trace-viewer file of their trace files.
'use strict';
const path = require('node:path');
const { TarGzWriter } = require('./tarGz');
const { compareFiles } = require('./logFiles');
const { viewerFileText, kViewerFileName } = require('../../trace/to-viewer');

function folderName(outputPath) {
  return path.basename(outputPath).replace(/(\.tar\.gz|\.tgz)$/, '') || 'logs';
}

// Writes the archive; answers {files, bytes, events, skipped} (skipped: trace
// lines the viewer file leaves out, as to-viewer.js reports them).
async function pack(outputPath, files) {
  const folder = folderName(outputPath);
  const sorted = [...files].sort(compareFiles);
  const archive = new TarGzWriter(outputPath);
  let bytes = 0;
  for (const file of sorted) bytes += await archive.addFile(`${folder}/${file.name}`, file.path);
  const traces = sorted.filter((file) => file.channel === 'trace').map((file) => file.path);
  let viewer = { events: 0, skipped: [] };
  if (traces.length > 0) {
    viewer = viewerFileText(traces);
    await archive.addData(`${folder}/${kViewerFileName}`, Buffer.from(viewer.text));
  }
  await archive.finish();
  return { files: sorted.length, bytes, events: viewer.events, skipped: viewer.skipped, folder };
}

module.exports = { pack };
