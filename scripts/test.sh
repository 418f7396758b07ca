#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
# Usage: scripts/test.sh [preset] [label]
#   preset: default, asan or tsan (default: default)
#   label:  build only the test programs with that ctest label and run only
#           their tests, e.g. "scripts/test.sh tsan concurrency"
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
label="${2:-}"
scripts/setup.sh
cmake --preset "$preset" >/dev/null
if [ -n "$label" ]; then
  cmake --build --preset "$preset" --target "kestro_tests_$label"
  ctest --preset "$preset" -L "$label"
else
  cmake --build --preset "$preset"
  ctest --preset "$preset"
fi
