// Errors the tool reports with its exit status 2: a bad option, a missing
// directory, a file it cannot read. `badOption`: the command line was wrong
// (the report then points to --help).
'use strict';

class UsageError extends Error {
  constructor(message, { badOption = false } = {}) {
    super(message);
    this.name = 'UsageError';
    this.badOption = badOption;
  }
}

module.exports = { UsageError };
