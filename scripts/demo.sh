#!/usr/bin/env bash
# Installs what is missing, builds the Node modules and plays the application
# in Node (demo/app.js): logging with tracing, both addons, the simulated
# notification centre, the files written. Ends by turning the trace into a file
# that trace viewers open and printing its path.
# Usage: scripts/demo.sh [log directory]      (the logging core's C++ demo:
#                                              scripts/demo-core.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target logcontrol notifyaddon notifysim bootclock >/dev/null
dir="${1:-$(mktemp -d "${TMPDIR:-/tmp}/kestro-demo-XXXXXX")}"
node demo/app.js "$dir"
# The trace is complete once the process has ended.
viewer=$(node tools/trace/to-viewer.js "$dir")
echo
echo "Trace for a viewer (Perfetto UI, chrome://tracing): $viewer"
