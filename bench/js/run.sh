#!/bin/sh
# Runs the JavaScript logging benchmark (logging-vs-pino.js: logcontrol.log,
# a logcontrol logger and pino) against the release build's logcontrol.node.
# Installs this folder's development dependency (pino) with `npm ci` the first
# time; the tests never need it.
#
#   bench/js/run.sh [--lines=N] [--repetitions=R] [--dir=D] [--only=logcontrol|logger|pino]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
module="$root/build/release/out/logcontrol.node"
if [ ! -f "$module" ]; then
  echo "missing $module: cmake --preset release && cmake --build --preset release --target logcontrol" >&2
  exit 1
fi
if [ ! -d "$here/node_modules/pino" ]; then
  (cd "$here" && npm ci --no-audit --no-fund)
fi
exec node "$here/logging-vs-pino.js" --module="$module" "$@"
