// Errors the tool reports with its exit status 2: a bad option, a missing
// directory, a file it cannot read.
'use strict';

class UsageError extends Error {
  constructor(message) {
    super(message);
    this.name = 'UsageError';
  }
}

module.exports = { UsageError };
