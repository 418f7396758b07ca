// bootclock.node of this platform and architecture (internal/prebuilt.js).
'use strict';
module.exports = require('./internal/prebuilt').loadPrebuilt('bootclock');
