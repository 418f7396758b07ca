// Loads a native module of the package from prebuilds/<platform>-<arch>/
// (process.platform, process.arch), where the package carries one build per
// platform and architecture: the modules, and beside them the shared
// libraries they link (liblogcore, libusernotifications), which they find
// through their run path ($ORIGIN). All four modules of one process load the
// same libraries, so they share one logcore and one notification centre.
'use strict';
const fs = require('node:fs');
const path = require('node:path');
const { name: packageName, binary } = require('../package.json');

const neededNodeApi = Math.min(...binary.napi_versions);

function refuse(message) {
  return Object.assign(new Error(message), { code: 'ERR_KESTRO_NO_BINARY' });
}

function loadPrebuilt(moduleName) {
  const target = `${process.platform}-${process.arch}`;
  const relative = `prebuilds/${target}/${moduleName}.node`;
  const file = path.join(__dirname, '..', relative);
  if (!fs.existsSync(file)) {
    throw refuse(`${packageName} has no binary for ${target}: ${relative} is missing. ` +
      `Build the package on ${target} with scripts/package.sh of the Kestro native sources ` +
      'and install that tarball.');
  }
  // The modules are built against one Node-API version and load into every
  // host (Node.js, Electron) that offers it or a later one.
  const offered = Number(process.versions.napi);
  if (!(offered >= neededNodeApi)) {
    throw refuse(`${packageName} needs Node-API version ${neededNodeApi}; ` +
      `this host offers ${process.versions.napi ?? 'none'}.`);
  }
  return require(file);
}

module.exports = { loadPrebuilt };
