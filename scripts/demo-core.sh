#!/usr/bin/env bash
# Installs what is missing, builds the logging core's demo and runs it: the
# application's part around liblogcore in C++ (several threads on every
# channel, a user id change, a configuration read from demo/master-config.json).
# Usage: scripts/demo-core.sh [log directory]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target kestro_demo >/dev/null
exec build/default/demo/kestro_demo "$@"
