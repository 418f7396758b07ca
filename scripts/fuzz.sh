#!/usr/bin/env bash
# Builds one libFuzzer target with the fuzz preset (clang) and runs it.
# Usage: scripts/fuzz.sh <target> <seconds> [libFuzzer options...]
# Targets: config_fuzzer, log_level_fuzzer, conv_fuzzer, custom_format_fuzzer,
# category_name_fuzzer, property_list_fuzzer (see fuzz/CMakeLists.txt).
# Starts from the committed seeds in fuzz/corpus/<target>; new inputs and any
# crash reproducers go to fuzz/corpus-run/<target>/ (not committed).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
  echo "usage: scripts/fuzz.sh <target> <seconds> [libFuzzer options...]" >&2
  exit 2
fi
target="$1"
seconds="$2"
shift 2

scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "$target"

run_dir="fuzz/corpus-run/$target"
mkdir -p "$run_dir"
seeds=()
if [ -d "fuzz/corpus/$target" ]; then
  seeds=("fuzz/corpus/$target")
fi
exec "build/fuzz/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$run_dir/" "$@" "$run_dir" "${seeds[@]}"
