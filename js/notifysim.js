// notifysim.node of this platform and architecture (internal/prebuilt.js). Require
// it before the addon is first used: the addon then talks to the simulated centre.
'use strict';
module.exports = require('./internal/prebuilt').loadPrebuilt('notifysim');
