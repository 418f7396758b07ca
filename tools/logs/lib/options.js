// The command line: node tools/logs <log directory> [options].
'use strict';
const { parseArgs } = require('node:util');
const { UsageError } = require('./errors');
const { thresholdRank } = require('./levels');
const { parseTimeOption } = require('./times');
const { latin1 } = require('./output');

const kUsage = `usage: node tools/logs <log directory> [options]

Prints every channel of the directory (main kestro-*, sync engine qsyn-*,
rtc-*, trace-*; every rotation, pid and user id) as one stream in time order,
each line tagged with its time, channel, pid and user id.

  --level L         that level and above: a letter of the layouts (V I W E C F,
                    S A of the sync and rtc layout) or a name (VERBOSE DBG INFO
                    WARNING WARN ERROR ERR CRITICAL FATAL)
  --category P      lines whose category starts with P (the sync and rtc layouts
                    carry part of it; main and trace lines carry none)
  --pid N           lines of process N
  --user ID         lines written for user id ID
  --since T         lines from T on: an ISO time (2024-03-12T14:05:09, local
  --until T         unless it names a zone), a time of day (14:05) or a span
                    ago (10m, 2h, 1d)
  --grep TEXT       lines whose message contains TEXT
  -f, --follow      keep printing new lines as they are written, until stopped
  --json            one JSON object a line: time, channel, pid, user, level,
                    category, thread, file, line, message
  --summary         lines and time span per channel and level, and the messages
                    the writers reported dropped
  --pack OUT.tar.gz the chosen files (by --pid, --user, --since, --until) and
                    their trace-viewer file, for a bug report
  -h, --help        this text

--category, --pid and --user may be given more than once (any of them).
Exit status: 0, or 1 when --pack finds no file, or 2 on a bad option, a
missing directory or a file that cannot be read.
`;

const kSpec = {
  level: { type: 'string' },
  category: { type: 'string', multiple: true },
  pid: { type: 'string', multiple: true },
  user: { type: 'string', multiple: true },
  since: { type: 'string' },
  until: { type: 'string' },
  grep: { type: 'string' },
  follow: { type: 'boolean', short: 'f' },
  json: { type: 'boolean' },
  summary: { type: 'boolean' },
  pack: { type: 'string' },
  help: { type: 'boolean', short: 'h' },
};

// parseArgs' own messages, shortened.
function parseError(err) {
  const option = /'([^' ]+)/.exec(err.message)?.[1];
  const text = {
    ERR_PARSE_ARGS_UNKNOWN_OPTION: `unknown option ${option}`,
    ERR_PARSE_ARGS_INVALID_OPTION_VALUE: `option ${option} needs a value`,
  }[err.code];
  return new UsageError(text ?? err.message, { badOption: true });
}

function conflict(values, a, b) {
  if (values[a] !== undefined && values[b] !== undefined) {
    throw new UsageError(`--${a} and --${b} do not go together`, { badOption: true });
  }
}

// The options as the reading needs them; `now` in microseconds. Throws a
// UsageError for anything it cannot take.
function parseOptions(argv, now) {
  let parsed;
  try {
    parsed = parseArgs({ args: argv, options: kSpec, allowPositionals: true, strict: true });
  } catch (err) {
    throw parseError(err);
  }
  const { values, positionals } = parsed;
  if (values.help) return { help: true };
  if (positionals.length !== 1) {
    const text = positionals.length === 0 ? 'no log directory given'
      : `one log directory only, got ${positionals.length}`;
    throw new UsageError(text, { badOption: true });
  }
  conflict(values, 'follow', 'summary');
  conflict(values, 'follow', 'pack');
  conflict(values, 'summary', 'pack');
  conflict(values, 'json', 'pack');
  let rank = null;
  if (values.level !== undefined) {
    rank = thresholdRank(values.level);
    if (rank === undefined) {
      throw new UsageError(`unknown level for --level: "${values.level}"`, { badOption: true });
    }
  }
  const pids = values.pid?.map((pid) => {
    if (!/^\d+$/.test(pid)) throw new UsageError(`--pid takes a process id, got "${pid}"`, { badOption: true });
    return Number(pid);
  });
  const time = (name) => (values[name] === undefined ? null : parseTimeOption(name, values[name], now));
  return {
    help: false,
    dir: positionals[0],
    choice: {
      pids: pids === undefined ? null : new Set(pids),
      users: values.user === undefined ? null : new Set(values.user),
      since: time('since'),
      until: time('until'),
    },
    filter: {
      rank,
      categories: values.category?.map(latin1) ?? null,
      grep: values.grep === undefined ? null : latin1(values.grep),
    },
    follow: Boolean(values.follow),
    json: Boolean(values.json),
    summary: Boolean(values.summary),
    pack: values.pack ?? null,
  };
}

module.exports = { parseOptions, kUsage };
