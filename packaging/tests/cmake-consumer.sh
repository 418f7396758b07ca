#!/usr/bin/env bash
# One consumer of the installed CMake package, outside the build tree: installs
# the build into a new prefix, moves the prefix (nothing installed may point
# back to where it was made), copies the consumer projects into a temporary
# folder, builds one against the prefix alone and runs it.
#
# Usage: cmake-consumer.sh <build dir> <program|addon|pkgconfig> <C++ compiler> [<flags>]
#   program    consumers/program with find_package(Kestro), Kestro::logcore
#   addon      consumers/addon: a module with Kestro::client, loaded by a program
#   pkgconfig  consumers/program/main.cpp with `pkg-config --cflags --libs logcore`
#   flags      compile and link flags of the build's own (its sanitizers): an
#              instrumented package needs an instrumented consumer
set -euo pipefail
build=$1
consumer=$2
cxx=$3
flags=${4:-}
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/kestro-consumer-XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/installed" >/dev/null
mv "$work/installed" "$work/prefix"
cp -r "$here/consumers" "$work/src"
mkdir "$work/logs"

configure_and_build() {
  cmake -S "$work/src/$1" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$work/prefix" \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
    -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
  cmake --build "$work/build"
}

case "$consumer" in
  program)
    configure_and_build program
    "$work/build/consumer_program" "$work/logs"
    ;;
  addon)
    configure_and_build addon
    # The module's framework copy and client are hidden: it exports its two
    # functions and nothing of the framework.
    exported=$(nm -D --defined-only "$work/build/libconsumer_addon.so" | awk '{print $3}' |
      grep -E 'consumerAddon|quorvane' | sort | tr '\n' ' ')
    if [ "$exported" != "consumerAddonDebug consumerAddonWarn " ]; then
      echo "the module exports: $exported" >&2
      exit 1
    fi
    "$work/build/consumer_host" "$work/logs"
    ;;
  pkgconfig)
    export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig"
    # shellcheck disable=SC2046,SC2086  # the flags are lists of words
    "$cxx" -std=c++20 $flags "$work/src/program/main.cpp" -o "$work/program" \
      $(pkg-config --cflags --libs logcore) -Wl,-rpath,"$(pkg-config --variable=libdir logcore)"
    "$work/program" "$work/logs"
    ;;
  *)
    echo "unknown consumer: $consumer" >&2
    exit 2
    ;;
esac
